#include "qorff/ObjectWithName.h"

#include <atomic>

namespace {

std::atomic<unsigned long long> renames{0};

}  // namespace

void CNameableObject::SetName(const std::string& name)
{
    SetNameInternal(name);
    ++renames;
}

unsigned long long CNameableObject::RenameCount()
{
    return renames.load();
}

#include "PrintableOutput.h"

#include <cstring>

#include "qorqm/MessageText.h"

namespace ZelmHost {

namespace {

constexpr std::size_t HeldBytes = 1 << 16;

}  // namespace

PrintableOutput::PrintableOutput(std::ostream& stream) : stream_(stream), target_(stream.rdbuf()), held_(HeldBytes)
{
    setp(held_.data(), held_.data() + held_.size());
    stream_.rdbuf(this);
}

PrintableOutput::~PrintableOutput()
{
    Pass(true);
    target_->pubsync();
    stream_.rdbuf(target_);
}

bool PrintableOutput::Pass(bool whole)
{
    const std::size_t size = static_cast<std::size_t>(pptr() - pbase());
    shown_.clear();
    const std::size_t taken = MessageText::AppendPrintable(shown_, pbase(), size, whole);
    // The bytes left (at most three) start the next round.
    std::memmove(held_.data(), pbase() + taken, size - taken);
    setp(held_.data(), held_.data() + held_.size());
    pbump(static_cast<int>(size - taken));
    const std::streamsize length = static_cast<std::streamsize>(shown_.size());
    return target_->sputn(shown_.data(), length) == length;
}

PrintableOutput::int_type PrintableOutput::overflow(int_type c)
{
    if (!Pass(false))
        return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int PrintableOutput::sync()
{
    return Pass(false) && target_->pubsync() == 0 ? 0 : -1;
}

}  // namespace ZelmHost

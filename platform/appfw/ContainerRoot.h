// Access to the host's container root. Components that are handed the root
// hold it through the consumer classes (CContainerRootConsumerImpl,
// CSBContainerRootConsumerBase, CSBContainerRootConsumerImpl, which the
// framework's logic base already brings); CContainerRoot wraps a root that
// a component passes around and reaches its managers.
#pragma once

#include <utility>

#include "hostapi/hostapi.h"
#include "kelv/ContainerRootConsumer.h"
#include "kelv/kelv.h"

class CContainerRoot
{
public:
    CContainerRoot() noexcept = default;
    // Keeps a reference of its own to the root (null allowed).
    explicit CContainerRoot(ISBContainerRoot* root) noexcept : m_root(root) {}
    explicit CContainerRoot(KelvComPtr<ISBContainerRoot> root) noexcept : m_root(std::move(root)) {}

    ISBContainerRoot* Get() const noexcept { return m_root.get(); }
    explicit operator bool() const noexcept { return static_cast<bool>(m_root); }

    // The root's document manager. A null root throws the framework's
    // null-pointer error, a failing host call the host's error, and a root
    // that hands out no manager KelvResult E_UNEXPECTED.
    KelvComPtr<ISBDocumentManager> DocumentManager() const;

private:
    KelvComPtr<ISBContainerRoot> m_root;
};

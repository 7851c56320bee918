// Ties a logic's forcefield choice to the host's forcefield-chooser logic for
// as long as the logic is connected: Subscribe when it connects, Unsubscribe
// when it shuts down.
//
// The subscription holds a reference to the chooser logic only; the
// subscribing logic is kept as a plain pointer, since the sync is normally a
// member of that logic and a reference would keep the logic alive forever.
#pragma once

#include "hostapi/hostapi.h"
#include "kelv/kelv.h"

class CForcefieldSync
{
public:
    CForcefieldSync() noexcept = default;
    CForcefieldSync(const CForcefieldSync&) = default;
    CForcefieldSync& operator=(const CForcefieldSync&) = default;
    virtual ~CForcefieldSync();

    // Subscribes `logic` to `chooser`, replacing an earlier subscription.
    // Either pointer null throws the framework's null-pointer error (and an
    // earlier subscription stays).
    void Subscribe(ISBLogic* logic, ISBLogic* chooser);
    // Ends the subscription; without one it does nothing.
    void Unsubscribe() noexcept;

    bool IsSubscribed() const noexcept { return static_cast<bool>(m_chooser); }
    ISBLogic* SubscribedLogic() const noexcept { return m_logic; }
    ISBLogic* Chooser() const noexcept { return m_chooser.get(); }

private:
    ISBLogic* m_logic = nullptr;
    KelvComPtr<ISBLogic> m_chooser;
};

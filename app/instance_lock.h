#pragma once

// Tells whether another instance of the program runs: each instance holds an
// advisory lock on one file in the user's runtime folder for as long as it
// runs. The kernel lets go of the lock when the process ends, however it
// ends, so a crash never leaves a stale lock behind; and taking it writes
// nothing, so it costs start-up no disk flush.
//
// Thread: the user-interface thread.

#include <string>

namespace tremlo {

class InstanceLock {
public:
    explicit InstanceLock(const std::string& path);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when another instance holds the lock. A lock file that cannot be
    // made (no runtime folder) counts as no other instance.
    bool otherInstance() const { return m_otherInstance; }

private:
    int m_fd = -1;
    bool m_otherInstance = false;
};

} // namespace tremlo

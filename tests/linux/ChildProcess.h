#pragma once
// Runs part of a test in a forked child, where it may drop privileges, lower limits or enter
// namespaces of its own without touching the test process.
#include <functional>
#include <string>

namespace dravolin::lnx::test {

struct ChildResult {
    int status = -1;      // what the body returned; -1 when the child died or never ran
    std::string message;  // what the body wrote into its message
};

// The body's return value when the child cannot set up what the test needs: the test is
// skipped, with the body's message as the reason.
constexpr int kChildCannot = 77;

// Forks, runs `body` in the child and waits for it. The child ends with _exit, so nothing of
// the test process (its test framework, its atexit handlers) runs twice.
ChildResult RunInChild(const std::function<int(std::string& message)>& body);

// In a child: ends its privileges as a user's program runs, dropping from root to the user
// "nobody" (65534) or, where that is refused, entering a user namespace in which the test's
// files belong to no one the child knows. Does nothing when already unprivileged. False with a
// reason when neither works.
bool BecomeUnprivileged(std::string& reason);

// In a child: a mount namespace of its own (inside a user namespace when not root), where
// bind mounts may be made and vanish with the child. False with a reason when refused.
bool OwnMountNamespace(std::string& reason);

}  // namespace dravolin::lnx::test

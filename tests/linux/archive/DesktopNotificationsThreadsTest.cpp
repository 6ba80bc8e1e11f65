// Archive mode's desktop notifications, against a stand-in service on a private bus.
#include <gtest/gtest.h>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>
#include "LinuxTestSupport.h"
#include "platform/linux/archive/DesktopNotifications.h"
#include "platform/linux/threads/LinuxThreads.h"

namespace dravolin::lnx::test {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

// The stand-in and its bus, ended (by closing its standard input) with the object.
class StandIn {
  public:
    StandIn(const TempFolder& folder, const std::string& mode) : folder_(folder) {
        const std::string command = "exec /usr/bin/python3 '" DRAVOLIN_NOTIFICATIONS_STANDIN "' '" +
                                    folder.Path() + "' " + mode;
        process_.reset(::popen(command.c_str(), "w"));
    }
    // The bus's address once the service is on it; empty when it never came.
    std::string Address() const {
        return Await([&] { return !ReadFile(folder_ / "address").empty(); })
                   ? ReadFile(folder_ / "address")
                   : "";
    }
    std::string Calls() const { return ReadFile(folder_ / "calls.log"); }

    // Polls `ready` until it holds or a deadline far beyond any answer passes.
    template <typename Predicate>
    static bool Await(Predicate ready) {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (!ready()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }

  private:
    struct Close {
        void operator()(FILE* process) const { ::pclose(process); }
    };
    const TempFolder& folder_;
    std::unique_ptr<FILE, Close> process_;
};

class Notifications : public ::testing::Test {
  protected:
    void SetUp() override {
        if (RunProgram({"dbus-daemon", "--version"}) != 0 ||
            RunProgram({"/usr/bin/python3", "-c", "import dbus, gi"}) != 0) {
            GTEST_SKIP() << "dbus-daemon, python3-dbus and python3-gi are needed";
        }
    }
};

TEST_F(Notifications, ArriveAsTheDesktopShowsThem) {
    struct Case {
        const char* mode;
        bool needsPerson;
        std::string text;
        const char* arrives;  // the hints from the urgency on, the timeout and the body
    };
    for (const Case& c : {
             Case{"plain", false, "Disc done", "1|-1|Disc done"},
             // A label as read from the disc: bytes that are not UTF-8, a NUL.
             Case{"plain", true, "Damaged: \xFF<A&B>\xC3\0.\xED\xA0\x80"s,
                  "2|-1|Damaged: \uFFFD<A&B>\uFFFD\uFFFD.\uFFFD\uFFFD\uFFFD"},
             Case{"markup", false, "Tom & <Jerry>", "1|-1|Tom &amp; &lt;Jerry&gt;"},
         }) {
        SCOPED_TRACE(c.text);
        TempFolder folder;
        StandIn service(folder, c.mode);
        const std::string address = service.Address();
        ASSERT_FALSE(address.empty());
        LinuxThreads threads;
        DesktopNotifications(threads, address).Send(c.needsPerson, c.text);
        ASSERT_TRUE(threads.WaitForAll(std::chrono::steady_clock::now() + 30s));
        EXPECT_EQ(service.Calls(),
                  "GetCapabilities\n"
                  "Dravolin|0|dravolin|Dravolin|[]|desktop-entry=String:dravolin urgency=Byte:" +
                      std::string(c.arrives) + "\n");
    }
}

// Holds each job for the test to run.
class HeldThreads : public Threads {
  public:
    struct Held : WorkerThread {
        bool HasEnded() override { return false; }
        void Terminate(std::uint32_t) override {}
    };
    std::unique_ptr<WorkerThread> Create(Job job) override {
        jobs.push_back(std::move(job));
        return std::make_unique<Held>();
    }
    std::vector<Job> jobs;
};

// The caller only hands the notification over; the worker waits for a service that never
// answers no longer than its timeout, and finds an absent service or bus at once.
TEST_F(Notifications, NoCallerWaitsForAServiceThatIsNotThere) {
    struct Case {
        const char* mode;   // null: no bus at all
        const char* calls;  // what reached the service
    };
    for (const Case& c :
         {Case{"stall", "GetCapabilities\n"}, Case{"absent", ""}, Case{nullptr, ""}}) {
        SCOPED_TRACE(c.mode ? c.mode : "no bus");
        TempFolder folder;
        std::unique_ptr<StandIn> service;
        std::string address = "unix:path=" + folder / "no-bus";
        if (c.mode) {
            service = std::make_unique<StandIn>(folder, c.mode);
            address = service->Address();
            ASSERT_FALSE(address.empty());
        }
        HeldThreads held;
        DesktopNotifications(held, address).Send(true, "Disc unreadable");
        ASSERT_EQ(held.jobs.size(), 1u);
        EXPECT_EQ(ReadFile(folder / "calls.log"), "") << "the caller's thread spoke to the bus";

        LinuxThreads threads;
        const auto start = std::chrono::steady_clock::now();
        threads.Create(std::move(held.jobs[0]));
        EXPECT_TRUE(threads.WaitForAll(start + DesktopNotifications::kReplyTimeout + 2s));
        EXPECT_EQ(ReadFile(folder / "calls.log"), c.calls);
    }
}

}  // namespace
}  // namespace dravolin::lnx::test

// SPDX-License-Identifier: GPL-3.0-or-later
// skyvarn-sim as a child process, with its own runtime folder.
#include "SimConsole.h"
#include "SimTestSupport.h"

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

class SimProgram : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/skyvarn-sim-test-XXXXXX"; // mkdtemp makes it mode 0700
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        runtime_ = pattern;
        ports_ = runtime_ + "/skyvarn/ports";
    }

    void TearDown() override {
        for (const pid_t pid : children_) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        std::system(("rm -rf '" + runtime_ + "'").c_str());
    }

    // Starts skyvarn-sim with these arguments; its output goes to a file in the runtime folder.
    pid_t Start(const std::vector<std::string>& arguments) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            if (std::string(*e).rfind("XDG_RUNTIME_DIR=", 0) != 0) env.emplace_back(*e);
        env.push_back("XDG_RUNTIME_DIR=" + runtime_);
        std::vector<std::string> args{SKYVARN_SIM_PROGRAM};
        args.insert(args.end(), arguments.begin(), arguments.end());
        const std::string output = runtime_ + "/output-" + std::to_string(runs_++);

        std::vector<char*> argv, envp;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);

        const pid_t pid = ::fork();
        if (pid == 0) {
            const int in = ::open("/dev/null", O_RDONLY);
            const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(in, STDIN_FILENO);
            ::dup2(out, STDOUT_FILENO);
            ::dup2(out, STDERR_FILENO);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        children_.push_back(pid);
        return pid;
    }

    // Waits for the child's end; its exit status, or -1 when it does not end in time.
    int Wait(pid_t pid, std::chrono::milliseconds timeout = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        int status = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                std::erase(children_, pid);
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }

    std::set<std::string> Links() const {
        std::set<std::string> names;
        if (DIR* dir = ::opendir(ports_.c_str())) {
            while (const dirent* e = ::readdir(dir))
                if (e->d_name[0] != '.') names.insert(e->d_name);
            ::closedir(dir);
        }
        return names;
    }

    bool WaitForLinks(const std::set<std::string>& expected) const {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (Links() != expected) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }

    std::string Target(const std::string& name) const {
        char target[256] = {};
        const ssize_t n = ::readlink((ports_ + "/" + name).c_str(), target, sizeof target - 1);
        return n > 0 ? std::string(target, n) : std::string();
    }

    QByteArray Identify(const std::string& name) {
        TSimLink port(ports_ + "/" + name);
        return port.Ask("SWHOIS", "\r");
    }

    std::string Output(int run) const {
        std::ifstream file(runtime_ + "/output-" + std::to_string(run));
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    std::string runtime_;
    std::string ports_;
    std::vector<pid_t> children_;
    int runs_ = 0;
};

const std::set<std::string> kDefaultLinks{"dew-1", "focuser-1", "focuser-2", "panels-1"};

} // namespace

TEST_F(SimProgram, AnnouncesDefaultDevicesAndRemovesLinksOnTermination) {
    for (const int signal : {SIGTERM, SIGINT}) {
        const int run = runs_;
        const pid_t pid = Start({});
        ASSERT_TRUE(WaitForLinks(kDefaultLinks));
        struct stat st {};
        ASSERT_EQ(::stat((runtime_ + "/skyvarn").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        for (const auto& name : kDefaultLinks)
            EXPECT_EQ(Target(name).rfind("/dev/pts/", 0), 0u);
        EXPECT_TRUE(Identify("focuser-1").contains("QLO"));
        EXPECT_TRUE(Identify("focuser-2").contains("QLO"));
        EXPECT_TRUE(Identify("dew-1").contains("BRS"));
        EXPECT_TRUE(Identify("panels-1").contains("PANPRI"));

        ::kill(pid, signal);
        EXPECT_EQ(Wait(pid), 0) << signal;
        EXPECT_TRUE(Links().empty()) << signal;
        // It told what it started and where.
        const std::string said = Output(run);
        for (const auto& name : kDefaultLinks)
            EXPECT_NE(said.find(ports_ + "/" + name + " -> /dev/pts/"), std::string::npos) << said;
    }
}

TEST_F(SimProgram, StartsTheDevicesAskedFor) {
    const pid_t pid = Start({"focuser-old", "silent", "focuser", "--steps-per-second", "800"});
    ASSERT_TRUE(WaitForLinks({"focuser-1", "focuser-2", "silent-1"}));
    {
        TSimLink old(ports_ + "/focuser-1");
        old.Send("SWHOIS");
        EXPECT_EQ(old.ReadFor(200ms), "");
        EXPECT_EQ(old.Ask("FMMODE", "\r"), "!\r");
    }
    EXPECT_TRUE(Identify("focuser-2").contains("QLO"));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(Wait(pid), 0);
    EXPECT_TRUE(Links().empty());
}

TEST_F(SimProgram, LinksOfAKilledRunDoNotBreakTheNextStart) {
    const pid_t killed = Start({"focuser", "silent"});
    ASSERT_TRUE(WaitForLinks({"focuser-1", "silent-1"}));
    ::kill(killed, SIGKILL);
    EXPECT_EQ(Wait(killed), 128 + SIGKILL);
    EXPECT_EQ(Links(), (std::set<std::string>{"focuser-1", "silent-1"})); // left behind

    // A link of another program in the folder is not ours to remove.
    ASSERT_EQ(::symlink("/dev/null", (ports_ + "/ttyBridge").c_str()), 0);
    const pid_t next = Start({"focuser"});
    ASSERT_TRUE(WaitForLinks({"focuser-1", "ttyBridge"}));
    EXPECT_TRUE(Identify("focuser-1").contains("QLO"));
    ::kill(next, SIGTERM);
    EXPECT_EQ(Wait(next), 0);
    EXPECT_EQ(Links(), (std::set<std::string>{"ttyBridge"}));
}

TEST_F(SimProgram, SecondSimulatorIsRefusedWhileOneRuns) {
    const pid_t first = Start({"panels"});
    ASSERT_TRUE(WaitForLinks({"panels-1"}));
    const std::string target = Target("panels-1");
    const pid_t second = Start({"panels"});
    EXPECT_EQ(Wait(second), 1);
    EXPECT_EQ(Target("panels-1"), target);
    EXPECT_TRUE(Identify("panels-1").contains("PANPRI"));
    ::kill(first, SIGTERM);
    EXPECT_EQ(Wait(first), 0);
}

TEST_F(SimProgram, RejectsUnknownDevices) {
    EXPECT_EQ(Wait(Start({"telescope"})), 2);
    EXPECT_EQ(Wait(Start({"--time-scale", "fast"})), 2);
    EXPECT_TRUE(Links().empty());
}

TEST_F(SimProgram, ConsoleCommandsChangeTheRunningDevices) {
    TSimLinks links(ports_);
    TConsole console(links);
    console.Add("focuser-1", *FindSimKind("focuser"), MakeSimDevice(*FindSimKind("focuser"), {}));
    console.Add("dew-1", *FindSimKind("dew"), MakeSimDevice(*FindSimKind("dew"), {}));
    ASSERT_EQ(Links(), (std::set<std::string>{"dew-1", "focuser-1"}));
    std::ostringstream out;
    // Lines may arrive in pieces.
    console.Feed("temp focuser-1 -4.5\nsil", out);
    console.Feed("ent dew-1\nhumidity focuser-1 50\nwarp dew-1\n", out);
    EXPECT_EQ(out.str().substr(0, 6), "ok\nok\n");
    EXPECT_NE(out.str().find("cannot 'humidity focuser-1 50'"), std::string::npos);
    EXPECT_NE(out.str().find("unknown command 'warp'"), std::string::npos);
    {
        TSimLink focuser(ports_ + "/focuser-1");
        EXPECT_EQ(focuser.Ask("FTMPRO", "\n").left(7), "T=-4.50");
        TSimLink dew(ports_ + "/dew-1");
        dew.Send("SWHOIS");
        EXPECT_EQ(dew.ReadFor(200ms), "");
    }
    const std::string port = Target("focuser-1");
    console.Run("unplug focuser-1", out);
    EXPECT_EQ(Links(), (std::set<std::string>{"dew-1"}));
    EXPECT_NE(::access(port.c_str(), F_OK), 0);
    // A device plugged in later is named after those already there, unplugged ones too.
    console.Run("add focuser", out);
    EXPECT_EQ(Links(), (std::set<std::string>{"dew-1", "focuser-2"}));
    TSimLink added(ports_ + "/focuser-2");
    EXPECT_EQ(added.Ask("FTMPRO", "\n").left(2), "T=");
}

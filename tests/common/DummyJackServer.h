#pragma once

// A private JACK server for a test or benchmark: the dummy driver (no sound
// hardware), 48 kHz, 256 frames a period unless told otherwise, under a
// server name of its own.
// Start() points every JACK client of this process and of the tools it
// starts at that server through JACK_DEFAULT_SERVER.
//
// JACK keeps running servers in a registry of eight slots, and frees the slot
// of a server that died without cleaning up only when a server of the same
// name starts again. So jackd gets a TERM when this process dies (setpriv
// --pdeathsig), Stop() starts the name once more after a kill, and the name
// is the caller's fixed one: a run killed outright leaves a slot that the
// next run of the same test takes back. Such a run can also leave its jackd
// hanging in its own shutdown, waiting on the killed clients; Start() ends
// it first.
//
// Servers of one user also share that registry and a metadata database, and
// with jackd 1.9.21 a client now and then fails to open while another private
// server starts or stops. So private servers run one at a time across
// processes: Start() waits for an flock that Stop() gives back (and that the
// kernel gives back if the process dies).
//
// The metadata database (/dev/shm/jack_db-UID) is removed by the last jackd
// that ends in order; killed JACK programs leave it behind, perhaps with its
// lock held, and every metadata request then hangs. Start() removes it when
// no running program uses it, and fails saying what to remove when the
// started server's metadata does not answer.

#include "tests/common/ChildProcess.h"
#include "tests/common/JackTestServer.h"

#include <cctype>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <fcntl.h>
#include <glob.h>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <unistd.h>

class DummyJackServer final : public JackTestServer {
public:
    static constexpr int kSampleRate = 48000;
    static constexpr int kPeriodFrames = 256;

    explicit DummyJackServer(int periodFrames = kPeriodFrames) : fPeriodFrames(periodFrames) {}

    // Empty on success, else why the server is not running.
    std::string Start(const std::string& baseName) override
    {
        const std::string missing = MissingTools({ "jackd", "jack_lsp", "setpriv", "pgrep" });
        if (!missing.empty())
            return missing;
        fLock = open("/tmp/zimbrel-dummy-jack.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0666);
        if (fLock < 0 || flock(fLock, LOCK_EX) != 0)
            return "cannot take /tmp/zimbrel-dummy-jack.lock";
        fName = baseName;
        EndOrphanedServer();
        const std::string database = "/dev/shm/jack_db-" + std::to_string(getuid());
        if (Users(database).empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(database, ignored);
        }
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        setenv("JACK_DEFAULT_SERVER", fName.c_str(), 1);
        if (!Launch())
            return "cannot start jackd: " + fJackd.Error();
        if (!Answers(std::chrono::seconds(10)))
            return "jackd -n " + fName + " did not come up within 10 s: " + fJackd.Output() + fJackd.Errors()
                + "; JACK's registry of running servers holds: " + RegisteredServers();
        const ToolResult metadata = RunTool({ "jack_property", "-l" }, {}, std::chrono::seconds(5));
        if (metadata.status != 0)
            return "JACK's metadata database " + database + " does not answer (jack_property -l: "
                + (metadata.status == -1 ? "no answer within 5 s" : metadata.errors)
                + "); a JACK program killed while it held its lock leaves it locked. Stop the JACK "
                  "programs that use it ("
                + Users(database) + ") and remove that folder";
        return {};
    }

    // Ends the server; after it was killed, frees its registry slot.
    void Stop() override
    {
        fJackd.Stop();
        if (fJackd.KilledBySignal() && Launch()) {
            Answers(std::chrono::seconds(5));
            fJackd.Stop();
        }
        // Clients of a killed server leave their semaphores behind.
        glob_t leftovers {};
        if (!fName.empty()
            && glob(("/dev/shm/jack_sem.*_" + fName + "_*").c_str(), 0, nullptr, &leftovers) == 0) {
            for (size_t i = 0; i < leftovers.gl_pathc; ++i)
                unlink(leftovers.gl_pathv[i]);
        }
        globfree(&leftovers);
        if (fLock >= 0)
            close(fLock);
        fLock = -1;
    }

    ~DummyJackServer() override { Stop(); }

    bool Kill(int signal) override { return fJackd.SignalAndWait(signal, std::chrono::seconds(3)); }
    pid_t Pid() const override { return fJackd.Pid(); }

    std::string Restart() override
    {
        if (!Launch())
            return "cannot start jackd again";
        if (!Answers(std::chrono::seconds(10)))
            return "jackd did not come back: " + fJackd.Output() + fJackd.Errors();
        return {};
    }

    const char* Kind() const override { return "jackd"; }

    const std::string& Name() const { return fName; }
    ChildProcess& Process() { return fJackd; }

private:
    // With the lock held no other test has a server up, so a jackd under
    // this name is left from a killed run. jackd refuses the name while the
    // old process exists at all, so the wait lasts until init has reaped it.
    void EndOrphanedServer()
    {
        std::istringstream pids(RunTool({ "pgrep", "-f", "^jackd -n " + fName + " " }).output);
        for (pid_t pid = 0; pids >> pid;) {
            kill(pid, SIGKILL);
            WaitUntil([pid] { return kill(pid, 0) != 0; }, std::chrono::seconds(5));
        }
    }

    // The running processes that have a file under `folder` open or mapped,
    // as "name (pid N)", or empty.
    static std::string Users(const std::string& folder)
    {
        std::string users;
        std::error_code error;
        for (const auto& process : std::filesystem::directory_iterator("/proc", error)) {
            if (!std::isdigit(static_cast<unsigned char>(process.path().filename().string()[0])))
                continue; // "self" and the kernel's files
            std::ifstream maps(process.path() / "maps");
            bool uses = false;
            for (std::string line; !uses && std::getline(maps, line);)
                uses = line.find(folder + "/") != std::string::npos;
            std::error_code ignored;
            for (const auto& fd : std::filesystem::directory_iterator(process.path() / "fd", ignored)) {
                if (uses)
                    break;
                uses = std::filesystem::read_symlink(fd.path(), ignored).string().rfind(folder + "/", 0) == 0;
            }
            if (!uses)
                continue;
            std::string name;
            std::getline(std::ifstream(process.path() / "comm"), name);
            users += (users.empty() ? "" : ", ") + name + " (pid " + process.path().filename().string() + ")";
        }
        return users;
    }

    // The names in JACK's registry of running servers (eight slots), with
    // their processes and whether those still run: jackd refuses to start
    // when every slot is taken.
    static std::string RegisteredServers()
    {
        std::ifstream file("/dev/shm/jack-shm-registry", std::ios::binary);
        std::string registry((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        constexpr size_t kHeader = 24, kSlot = 4 + 256, kSlots = 8;
        if (registry.size() < kHeader + kSlots * kSlot || registry.compare(0, 4, "KCAJ") != 0)
            return "(no registry readable at /dev/shm/jack-shm-registry)";
        std::string servers;
        for (size_t slot = 0; slot < kSlots; ++slot) {
            const char* entry = registry.data() + kHeader + slot * kSlot;
            int32_t pid = 0;
            std::memcpy(&pid, entry, sizeof pid);
            const std::string name(entry + 4, strnlen(entry + 4, 256));
            if (pid == 0 && name.empty())
                continue;
            servers += (servers.empty() ? "" : ", ") + name + " (pid " + std::to_string(pid)
                + (kill(pid, 0) == 0 ? ", running)" : ", gone)");
        }
        return servers.empty() ? "no server" : servers;
    }

    bool Launch()
    {
        return fJackd.Start({ "setpriv", "--pdeathsig", "TERM", "jackd", "-n", fName, "-d", "dummy", "-r",
            std::to_string(kSampleRate), "-p", std::to_string(fPeriodFrames) });
    }

    // Waits until a client (jack_lsp) reaches the launched server; false
    // when jackd ended or time ran out first.
    bool Answers(std::chrono::milliseconds timeout)
    {
        return WaitUntil([this] { return !fJackd.Running() || RunTool({ "jack_lsp" }).status == 0; }, timeout)
            && fJackd.Running();
    }

    int fPeriodFrames;
    std::string fName;
    ChildProcess fJackd;
    int fLock = -1;
};

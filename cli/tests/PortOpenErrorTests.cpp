// A port that may not be opened: the message names the group and the command that fix it.
#include "PortOpenError.h"
#include "PtyHelpers.h"
#include "VLPIO.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vq5::test {
namespace {

const char* const kHint =
    ". Add your user to the group 'dialout' (sudo adduser $USER dialout) and log in again.";

TEST(PortOpenErrorText, PermissionDeniedNamesTheGroupAndTheCommand) {
    EXPECT_EQ(
        PortOpenErrorText(EACCES, "Permission denied", "/dev/ttyUSB0"),
        "Permission denied: /dev/ttyUSB0. Add your user to the group 'dialout' (sudo adduser $USER dialout) "
        "and log in again.");
}

TEST(PortOpenErrorText, NotPermittedGetsTheSameHint) {
    EXPECT_EQ(PortOpenErrorText(EPERM, "Operation not permitted", "/dev/ttyS0"),
              std::string("Operation not permitted: /dev/ttyS0") + kHint);
}

TEST(PortOpenErrorText, OtherGroupIsNamedTwice) {
    EXPECT_EQ(PortOpenErrorText(EACCES, "Permission denied", "/dev/ttyACM0", "uucp"),
              "Permission denied: /dev/ttyACM0. Add your user to the group 'uucp' (sudo adduser $USER uucp) "
              "and log "
              "in again.");
    // An empty group falls back to the usual one.
    EXPECT_EQ(PortOpenErrorText(EACCES, "Permission denied", "/dev/ttyS1", ""),
              std::string("Permission denied: /dev/ttyS1") + kHint);
}

TEST(PortOpenErrorText, OtherErrorsKeepTheSystemTextAlone) {
    for (int e : {ENOENT, EBUSY, ENOTTY, EIO, ENXIO, 0}) {
        const std::string text = std::strerror(e);
        EXPECT_EQ(PortOpenErrorText(e, text, "/dev/ttyUSB0"), text) << e;
    }
}

// A file standing in for a device node, removed at the end.
struct CTempNode {
    CTempNode() {
        char name[] = "/tmp/vq5-node-XXXXXX";
        int fd = ::mkstemp(name);
        EXPECT_GE(fd, 0);
        if (fd >= 0)
            ::close(fd);
        path = name;
    }
    ~CTempNode() { ::unlink(path.c_str()); }
    std::string path;
};

TEST(PortAccessGroup, FallsBackWhenTheDeviceTellsNothing) {
    EXPECT_EQ(PortAccessGroup("/dev/vq5-no-such-port"), "dialout");
    EXPECT_EQ(PortAccessGroup(""), "dialout");
    CTempNode node;
    // Group root: membership of root's group is never the advice.
    if (geteuid() == 0) {
        ASSERT_EQ(::chown(node.path.c_str(), 0, 0), 0);
        ASSERT_EQ(::chmod(node.path.c_str(), 0660), 0);
        EXPECT_EQ(PortAccessGroup(node.path), "dialout");
    }
    // A group that may not write gets the usual advice too.
    ASSERT_EQ(::chmod(node.path.c_str(), 0640), 0);
    EXPECT_EQ(PortAccessGroup(node.path), "dialout");
}

TEST(PortAccessGroup, NamesTheDevicesOwnGroup) {
    CTempNode node;
    gid_t gid = getegid();
    if (geteuid() == 0) {
        const struct group* tty = ::getgrnam("tty");
        if (!tty)
            GTEST_SKIP() << "no group 'tty' here";
        gid = tty->gr_gid;
    }
    if (gid == 0)
        GTEST_SKIP() << "no group other than root's to give the node";
    ASSERT_EQ(::chown(node.path.c_str(), static_cast<uid_t>(-1), gid), 0);
    ASSERT_EQ(::chmod(node.path.c_str(), 0660), 0);
    const struct group* g = ::getgrgid(gid);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(PortAccessGroup(node.path), g->gr_name);
}

// A port whose open is refused with a given error.
class CRefusingPort : public ISerialPort {
public:
    explicit CRefusingPort(int error, std::string* opened) : m_Error(error), m_Opened(opened) {}
    bool Open(const std::string& name, int& error) override {
        *m_Opened = name;
        error = m_Error;
        return false;
    }
    void Close() override {}
    bool IsOpen() const override { return false; }
    ReadResult ReadByte(unsigned char&, unsigned, int& error) override {
        error = EBADF;
        return ReadResult::Failed;
    }
    WriteResult Write(const unsigned char*, std::size_t, std::size_t& written, int& error) override {
        written = 0;
        error = EBADF;
        return WriteResult::Failed;
    }
    bool SetBaud(int, int& error) override {
        error = EBADF;
        return false;
    }
    int Baud() const override { return 0; }
    void Interrupt() override {}
    void ClearInterrupt() override {}

private:
    int m_Error;
    std::string* m_Opened;
};

// The tools' form of the box text: which port, why, what happens next.
TEST(PortFailureText, NamesPortReasonAndNextStep) {
    struct Row {
        PortStep step;
        bool lost;
        const char* reason;
        std::string want;
    } rows[] = {
        {PortStep::Open, false, "No such file or directory",
         "/dev/ttyUSB0 could not be opened: No such file or directory.\n\nChoose."},
        {PortStep::Open, false, "port in use: /dev/ttyUSB0",
         "/dev/ttyUSB0 could not be opened: port in use: /dev/ttyUSB0.\n\nChoose."},
        {PortStep::Read, true, "Input/output error",
         "Reading from /dev/ttyUSB0 failed: Input/output error.\n\nThe port is gone (unplugged or hung up). "
         "The tool "
         "opens it again as soon as it is back and carries on by itself."},
        {PortStep::Write, false, "Protocol error",
         "Writing to /dev/ttyUSB0 failed: Protocol error.\n\nThe tool goes on using the port; the status box "
         "shows "
         "whether the link recovers."},
        {PortStep::Read, false, "Done.",
         "Reading from /dev/ttyUSB0 failed: Done.\n\nThe tool goes on using the port; the status box "
         "shows whether the link recovers."},
    };
    for (const Row& r : rows)
        EXPECT_EQ(PortFailureText(r.step, "/dev/ttyUSB0", r.reason, r.lost, "Choose."), r.want);
    EXPECT_EQ(PortFailureText(PortStep::Open, "COM1", "x", false, ""),
              "COM1 could not be opened: x.\n\nThe link stays down until the port can be opened.");
}

// With the tools' advice set, a failed open's box keeps its caption and says the rest.
TEST(PortFailureText, OpenBoxWithAdvice) {
    CMemoryStore store;
    store.WriteString("VLPIO", "ComPort", "/dev/vq5-no-such-port");
    CRecordingMessages messages;
    CVLPIO io(&store);
    io.SetUserMessages(&messages);
    io.SetErrorAdvice("Choose the port in VQ-5 > Settings.");
    EXPECT_FALSE(io.Open());
    const auto boxes = messages.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "Error: Open of /dev/vq5-no-such-port");
    EXPECT_EQ(boxes[0].second, std::string("/dev/vq5-no-such-port could not be opened: ") +
                                   std::strerror(ENOENT) + ".\n\nChoose the port in VQ-5 > Settings.");
}

std::pair<std::string, std::string> OpenBox(const std::string& port, int error) {
    CMemoryStore store;
    store.WriteString("VLPIO", "ComPort", port);
    CRecordingMessages messages;
    CVLPIO io(&store);
    io.SetUserMessages(&messages);
    std::string opened;
    io.SetPortFactory([&] { return std::make_unique<CRefusingPort>(error, &opened); });
    EXPECT_FALSE(io.Open());
    EXPECT_EQ(opened, port);
    const auto boxes = messages.Boxes();
    EXPECT_EQ(boxes.size(), 1u);
    return boxes.empty() ? std::pair<std::string, std::string>{} : boxes[0];
}

TEST(PortOpenBox, PermissionDeniedKeepsCaptionAndAddsTheHint) {
    const auto box = OpenBox("/dev/vq5-no-such-port", EACCES);
    EXPECT_EQ(box.first, "Error: Open of /dev/vq5-no-such-port");
    // The device does not exist, so its group cannot be read: the usual group.
    EXPECT_EQ(box.second, std::string(std::strerror(EACCES)) + ": /dev/vq5-no-such-port" + kHint);
}

TEST(PortOpenBox, ComNamesShowTheDeviceFile) {
    const auto box = OpenBox("COM3", EPERM);
    EXPECT_EQ(box.first, "Error: Open of COM3");
    const std::string path = PortDevicePath("COM3");
    EXPECT_EQ(path, "/dev/ttyS2");
    const std::string group = PortAccessGroup(path);
    EXPECT_EQ(box.second, std::string(std::strerror(EPERM)) + ": /dev/ttyS2. Add your user to the group '" +
                              group + "' (sudo adduser $USER " + group + ") and log in again.");
}

TEST(PortOpenBox, OtherFailuresUnchanged) {
    EXPECT_EQ(OpenBox("/dev/vq5-no-such-port", ENOENT).second, std::strerror(ENOENT));
    EXPECT_EQ(OpenBox("/dev/vq5-no-such-port", EBUSY).second, "port in use: /dev/vq5-no-such-port");
}

// The command line, run on a port file this user may not open (as root: run as nobody).
std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(PortOpenCommandLine, ShowsTheHint) {
    if (std::string(VQ5_BIN).empty())
        GTEST_SKIP() << "no command line in this build";
    char dir[] = "/tmp/vq5-perm-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    ASSERT_EQ(::chmod(dir, 0755), 0);
    const std::string port = std::string(dir) + "/ttyLOCKED";
    const std::string err = std::string(dir) + "/err";
    { std::ofstream f(port); }
    ASSERT_EQ(::chmod(port.c_str(), 0600), 0);
    std::string prefix;
    if (geteuid() == 0) {
        if (::access("/usr/bin/setpriv", X_OK) != 0)
            GTEST_SKIP() << "setpriv missing: cannot drop root's rights";
        // The program must be reachable for nobody.
        prefix = "/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups ";
    } else {
        ASSERT_EQ(::chmod(port.c_str(), 0), 0);
    }
    const std::string command = "HOME=" + std::string(dir) + " XDG_CONFIG_HOME=" + std::string(dir) +
                                " timeout 60 " + prefix + VQ5_BIN + " send --port " + port + " '&PIA' 2>" +
                                err + " >/dev/null";
    const int rc = std::system(command.c_str());
    const std::string text = ReadAll(err);
    ::unlink(port.c_str());
    ::unlink(err.c_str());
    ::rmdir(dir);
    ASSERT_NE(rc, -1);
    EXPECT_NE(WEXITSTATUS(rc), 0);
    EXPECT_NE(WEXITSTATUS(rc), 124) << "vq5 did not end";
    // The group of the file is its owner's (root's or this user's), so the advice is the usual one
    // unless this user's own group may write it; the file is 0600, so it is the usual one.
    EXPECT_EQ(text, "Error: Open of " + port + ": " + std::strerror(EACCES) + ": " + port + kHint + "\n");
}

} // namespace
} // namespace vq5::test

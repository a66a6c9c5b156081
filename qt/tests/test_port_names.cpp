// Which device each of COM1..COM20 stands for, and how the port list tells.
#include "serial/port_names.h"
#include "serial/port_resolution.h"
#include "testsupport/form_harness.h"
#include "testsupport/pty_peer.h"

#include <QFileInfo>
#include <gtest/gtest.h>

TEST(PortNames, SystemPortsInOrder) {
    const struct {
        const char* name;
        QStringList in, out;
    } cases[] = {
        {"USB adapters first, then ACM, then the others",
         {"/dev/ttyS0", "/dev/ttyACM0", "/dev/ttyUSB0"},
         {"/dev/ttyUSB0", "/dev/ttyACM0", "/dev/ttyS0"}},
        {"numeric order within a kind",
         {"/dev/ttyUSB10", "/dev/ttyUSB2", "/dev/ttyUSB1", "/dev/ttyACM11", "/dev/ttyACM3"},
         {"/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM3", "/dev/ttyACM11"}},
        {"the others grouped by name, each numerically",
         {"/dev/ttyS10", "/dev/ttyAMA0", "/dev/ttyS9", "/dev/rfcomm0", "/dev/ttyS1"},
         {"/dev/rfcomm0", "/dev/ttyAMA0", "/dev/ttyS1", "/dev/ttyS9", "/dev/ttyS10"}},
        {"a name without a number before the numbered ones",
         {"/dev/ttyX1", "/dev/ttyX"},
         {"/dev/ttyX", "/dev/ttyX1"}},
        {"an absurdly long number",
         {"/dev/ttyS99999999999999999999", "/dev/ttyS1"},
         {"/dev/ttyS1", "/dev/ttyS99999999999999999999"}},
        {"nothing", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SortSystemPorts(c.in).join(' ').toStdString(), c.out.join(' ').toStdString());
    }
}

namespace {
// The device the Qt-free resolution finds for port n.
QString DeviceOf(int n, const QString& folder, const QStringList& system) {
    return QString::fromStdString(ports::Resolve(n, folder.toStdString(), [&system] {
                                      std::vector<std::string> devices;
                                      for (const QString& d : system)
                                          devices.push_back(d.toStdString());
                                      return devices;
                                  }).device);
}
} // namespace

TEST(PortNames, LinksFirstThenTheSystemsList) {
    PtyPeer peer;
    QTemporaryDir dev;
    // A chain of links, as udev's by-id names are, ends at the device.
    const QString byId = dev.path() + QStringLiteral("/usb-Adapter_1234-if00-port0");
    ASSERT_TRUE(QFile::link(peer.devicePath(), byId));
    PortsFolder ports;
    ports.link(1, peer.devicePath());
    ports.link(2, byId);
    ports.link(3, QStringLiteral("/dev/vxt4710-unplugged"));
    const QStringList system = {"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyACM0"};
    const struct {
        int n;
        QString device;
    } cases[] = {
        {1, peer.devicePath()},
        {2, peer.devicePath()},
        // A link that points nowhere still names the port.
        {3, QStringLiteral("/dev/vxt4710-unplugged")},
        // Without a link: the n-th port of the system's list.
        {4, QString()},
        {0, QString()},
        {-1, QString()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DeviceOf(c.n, ports.path(), system), c.device) << c.n;
        // The Qt face says the same.
        EXPECT_EQ(ResolvePortDevice(c.n, ports.path(), system), c.device) << c.n;
    }
    ports.unlink(1);
    ports.unlink(2);
    EXPECT_EQ(DeviceOf(1, ports.path(), system), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(DeviceOf(2, ports.path(), system), QStringLiteral("/dev/ttyUSB1"));
    EXPECT_EQ(DeviceOf(3, ports.path(), system), QStringLiteral("/dev/vxt4710-unplugged"));
    // A missing ports folder is no error.
    EXPECT_EQ(DeviceOf(3, QStringLiteral("/nonexistent/ports"), system),
              QStringLiteral("/dev/ttyACM0"));
    // A link with a relative target that points nowhere names the place
    // beside the link.
    ports.link(5, QStringLiteral("ttyGone"));
    EXPECT_EQ(DeviceOf(5, ports.path(), system), ports.path() + QStringLiteral("/ttyGone"));
}

TEST(PortNames, DanglingLinkNamesThePortAndItsOpenFails) {
    PortsFolder ports;
    ports.link(5, QStringLiteral("/dev/vxt4710-unplugged"));
    SerialCommControl comm(ports.path());
    EXPECT_EQ(comm.DeviceFor(5), "/dev/vxt4710-unplugged");
    comm.SetCommPort(5);
    EXPECT_THROW(comm.SetPortOpen(true), CommError);
    EXPECT_FALSE(comm.PortOpen());
}

TEST(PortNames, FolderUnderTheUsersConfiguration) {
    const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME");
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/cfg");
    EXPECT_EQ(DefaultPortsFolder(), QStringLiteral("/tmp/cfg/vxt4710/ports"));
    qunsetenv("XDG_CONFIG_HOME");
    qputenv("HOME", "/home/someone");
    EXPECT_EQ(DefaultPortsFolder(), QStringLiteral("/home/someone/.config/vxt4710/ports"));
    qputenv("XDG_CONFIG_HOME", oldXdg);
    qputenv("HOME", oldHome);
    if (oldXdg.isEmpty())
        qunsetenv("XDG_CONFIG_HOME");
}

namespace {
QString TipOf(Form1Window& form, int n) {
    return form.Widget(&Form1::Combo4)->itemData(n - 1, Qt::ToolTipRole).toString();
}
} // namespace

TEST(PortList, EntriesStayAndTipsNameTheDevices) {
    FormHarness h([](FakeCommControl& fake) {
        fake.devices[1] = QStringLiteral("/dev/null");
        fake.devices[3] = QStringLiteral("/dev/vxt4710-unplugged");
    });
    ASSERT_EQ(h->Widget(&Form1::Combo4)->count(), 20);
    for (int n = 1; n <= 20; ++n)
        EXPECT_EQ(h->Widget(&Form1::Combo4)->itemText(n - 1), QStringLiteral("COM%1").arg(n));
    EXPECT_EQ(TipOf(*h.form, 1), QStringLiteral("COM1 → /dev/null"));
    EXPECT_EQ(TipOf(*h.form, 2), QStringLiteral("COM2：没有对应的串口设备"));
    EXPECT_EQ(TipOf(*h.form, 3), QStringLiteral("COM3 → /dev/vxt4710-unplugged（设备不存在）"));
    EXPECT_EQ(TipOf(*h.form, 20), QStringLiteral("COM20：没有对应的串口设备"));

    // The tips are read afresh whenever the list opens.
    h.fake->devices.remove(1);
    h.fake->devices[2] = QStringLiteral("/dev/null");
    h->show();
    h->Widget(&Form1::Combo4)->showPopup();
    EXPECT_EQ(TipOf(*h.form, 1), QStringLiteral("COM1：没有对应的串口设备"));
    EXPECT_EQ(TipOf(*h.form, 2), QStringLiteral("COM2 → /dev/null"));
    h->Widget(&Form1::Combo4)->hidePopup();
    // Opening the list changes no choice and sends nothing.
    EXPECT_EQ(h->Widget(&Form1::Combo4)->count(), 20);
    EXPECT_EQ(h->Widget(&Form1::Combo4)->Text(), QStringLiteral("COM1"));
    EXPECT_EQ(h->Widget(&Form1::Combo4)->ListIndex(), -1);
    EXPECT_TRUE(h.fake->written.isEmpty());
}

TEST(PortList, TipsOfTheRealControlFollowTheLinks) {
    PtyPeer peer;
    PortsFolder ports;
    ports.link(1, peer.devicePath());
    ports.link(7, QStringLiteral("/dev/vxt4710-unplugged"));
    auto h = FormHarness::Real(ports.path());
    EXPECT_EQ(TipOf(*h->form, 1), QStringLiteral("COM1 → ") + peer.devicePath());
    EXPECT_EQ(TipOf(*h->form, 7), QStringLiteral("COM7 → /dev/vxt4710-unplugged（设备不存在）"));
    ports.link(7, peer.devicePath());
    h->form->Widget(&Form1::Combo4)->showPopup();
    EXPECT_EQ(TipOf(*h->form, 7), QStringLiteral("COM7 → ") + peer.devicePath());
    h->form->Widget(&Form1::Combo4)->hidePopup();
}

TEST(PortNames, AllDevicesAtOnceAgreeWithOneByOne) {
    PtyPeer peer;
    PortsFolder ports;
    ports.link(2, peer.devicePath());
    ports.link(4, QStringLiteral("/dev/vxt4710-unplugged"));
    SerialCommControl comm(ports.path());
    const std::vector<std::string> all = comm.Devices(20);
    ASSERT_EQ(all.size(), 20);
    for (int n = 1; n <= 20; ++n)
        EXPECT_EQ(all[n - 1], comm.DeviceFor(n)) << n;
}

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QProcess>
#include <sstream>

#include "FakePortTree.h"
#include "SerialLib/PortInfo/PortEnumerator.h"
#include "cli/CliOptions.h"
#include "cli/PortListing.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The text of `line` in the column that starts where `heading` starts in the heading.
std::string Column(const std::vector<std::string>& lines, size_t line, const std::string& heading) {
    const size_t start = lines[0].find(heading);
    const size_t end = lines[line].find("  ", start);
    return lines[line].substr(start, end == std::string::npos ? end : end - start);
}

}  // namespace

TEST(PortListing, ListPortsPrintsOnePortALineInAlignedColumnsAndSaysWhenThereIsNone) {
    EXPECT_EQ(ParseCliArguments({"--list-ports"}).action, CliOptions::Action::ListPorts);

    FakePortTree tree;
    tree.AddUsb(
        {"ttyUSB0", "0403", "6001", "FTDI", "FT232R USB UART", "A10K1234", "ftdi_sio", "1-1"});
    tree.AddUsb({"ttyUSB1", "1a86", "7523", "", "USB2.0-Serial", "", "ch341-uart", "1-2"});
    tree.AddUart("ttyS0", 4, "0x3F8");
    const std::string link = "usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0";
    tree.AddByIdLink(link, "ttyUSB0");
    const std::string socket = "pci-0000:00:14.0-usb-0:1:1.0-port0";
    tree.AddByPathLink(socket, "ttyUSB0");
    const int holder = ::open(tree.Node("ttyUSB1").c_str(), O_RDWR);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    const std::vector<std::string> lines =
        Lines(FormatPortList(CPortEnumerator(tree.Roots()).Ports()));
    ::close(holder);

    ASSERT_EQ(lines.size(), 4u);  // the heading and three ports
    EXPECT_EQ(Column(lines, 1, "DESCRIPTION"), "FTDI FT232R USB UART");
    EXPECT_EQ(Column(lines, 1, "VID:PID"), "0403:6001");
    EXPECT_EQ(Column(lines, 1, "SERIAL"), "A10K1234");
    EXPECT_EQ(Column(lines, 1, "LOCATION"), "1-1");
    EXPECT_EQ(Column(lines, 1, "BY-ID LINK"), tree.Roots().dev + "/serial/by-id/" + link);
    EXPECT_EQ(Column(lines, 1, "BY-PATH LINK"), tree.Roots().dev + "/serial/by-path/" + socket);
    EXPECT_EQ(Column(lines, 2, "STATE"), "busy");
    EXPECT_EQ(Column(lines, 2, "SERIAL"), "-");
    EXPECT_EQ(Column(lines, 3, "DESCRIPTION"), "on-board serial port at 0x3F8");
    EXPECT_EQ(Column(lines, 3, "VID:PID"), "-");
    EXPECT_EQ(Column(lines, 3, "LOCATION"), "-");
    EXPECT_EQ(Column(lines, 3, "BY-PATH LINK"), "-");

    const std::vector<std::string> none = Lines(FormatPortList({}));
    ASSERT_EQ(none.size(), 1u);
    EXPECT_NE(none[0].find("No serial ports were found"), std::string::npos);
    EXPECT_NE(none[0].find("dialout"), std::string::npos);

    // The program lists this machine's ports, whatever they are, and succeeds.
    QProcess cli;
    cli.start(TOVRANE_CLI_PATH, {"--list-ports"});
    ASSERT_TRUE(cli.waitForFinished(10000));
    EXPECT_EQ(cli.exitCode(), 0);
    const std::string out = cli.readAllStandardOutput().toStdString();
    EXPECT_TRUE(out.rfind("PORT ", 0) == 0 || out.rfind("No serial ports", 0) == 0) << out;
}

#include "cli/PortListing.h"

#include <algorithm>
#include <array>

namespace {

constexpr size_t kColumns = 8;
using Row = std::array<std::string, kColumns>;

const Row kHeading = {"PORT",   "STATE",    "DESCRIPTION", "VID:PID",
                      "SERIAL", "LOCATION", "BY-ID LINK",  "BY-PATH LINK"};

const char* const kNoPorts =
    "No serial ports were found. Check that the adapter is plugged in (dmesg shows it "
    "being detected), and that you may use serial ports: 'id -nG' should list dialout "
    "(sudo usermod -aG dialout $USER, then log out and in again).\n";

const char* const kPermissionHint =
    "Ports with no permission: add your user to the dialout group (sudo usermod -aG dialout "
    "$USER), then log out and in again.\n";

std::string OrDash(const std::string& text) {
    return text.empty() ? "-" : text;
}

Row RowOf(const CPortInfo& port) {
    return {port.path,
            StateName(port.state),
            port.description,
            OrDash(port.vidPid),
            OrDash(port.serialNumber),
            OrDash(port.location),
            OrDash(port.byIdLink),
            OrDash(port.byPathLink)};
}

// Characters as a terminal shows them: UTF-8 continuation bytes take no column.
size_t DisplayWidth(const std::string& text) {
    return std::count_if(text.begin(), text.end(),
                         [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
}

}  // namespace

std::string FormatPortList(const std::vector<CPortInfo>& ports) {
    if (ports.empty()) {
        return kNoPorts;
    }
    std::vector<Row> rows{kHeading};
    std::transform(ports.begin(), ports.end(), std::back_inserter(rows), RowOf);
    std::array<size_t, kColumns> widths{};
    for (const Row& row : rows) {
        for (size_t column = 0; column < kColumns; ++column) {
            widths[column] = std::max(widths[column], DisplayWidth(row[column]));
        }
    }
    std::string text;
    for (const Row& row : rows) {
        std::string line;
        for (size_t column = 0; column < kColumns; ++column) {
            line += row[column];
            if (column + 1 < kColumns) {
                line.append(widths[column] - DisplayWidth(row[column]) + 2, ' ');
            }
        }
        text += line + "\n";
    }
    return text;
}

int PrintPortList(const std::vector<CPortInfo>& ports, std::FILE* out) {
    std::fputs(FormatPortList(ports).c_str(), out);
    const bool denied = std::any_of(ports.begin(), ports.end(), [](const CPortInfo& port) {
        return port.state == PortState::NoPermission;
    });
    if (denied) {
        std::fputs(kPermissionHint, out);
    }
    return 0;
}

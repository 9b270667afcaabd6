#include "SerialLib/PortInfo/PortInfo.h"

const char* StateName(PortState state) {
    switch (state) {
        case PortState::Usable:
            return "usable";
        case PortState::Busy:
            return "busy";
        case PortState::NoPermission:
            return "no permission";
        case PortState::Unavailable:
            return "unavailable";
    }
    return "unavailable";
}

std::string UnusableReason(const CPortInfo& port) {
    switch (port.state) {
        case PortState::Usable:
            return {};
        case PortState::Busy:
            return "in use by another program";
        case PortState::NoPermission:
            return "no permission: add your user to dialout";
        case PortState::Unavailable:
            return "cannot be opened: " + port.stateDetail;
    }
    return {};
}

#include "update/RunReport.h"

const char* RunResultName(RunResult result) {
    switch (result) {
        case RunResult::None:
            return "none";
        case RunResult::Finished:
            return "finished";
        case RunResult::VersionRead:
            return "version_read";
        case RunResult::WriteFail:
            return "write_fail";
        case RunResult::VerifyFail:
            return "verify_fail";
        case RunResult::ConnectFail:
            return "connect_fail";
        case RunResult::NoLoader:
            return "no_loader";
        case RunResult::ImageMissing:
            return "image_missing";
        case RunResult::ImageRefused:
            return "image_refused";
        case RunResult::PortOpenFail:
            return "port_open_fail";
        case RunResult::SetupFail:
            return "setup_fail";
        case RunResult::Interrupted:
            return "interrupted";
    }
    return "none";
}

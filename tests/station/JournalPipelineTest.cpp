// A station batch's results in a real systemd-journald, uploaded to a
// systemd-journal-remote on loopback and read back there (tests/station/journal-pipeline).

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>

#include "StationFixture.h"

namespace {

// A TCP port on 127.0.0.1 that nothing listens on now; 0 when none was found.
quint16 FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

std::vector<QJsonObject> JsonLines(const std::string& path) {
    QFile file(QString::fromStdString(path));
    std::vector<QJsonObject> objects;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (!line.isEmpty()) {
                objects.push_back(QJsonDocument::fromJson(line).object());
            }
        }
    }
    return objects;
}

QString Text(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// How the test's mount namespace keeps its mounts to itself: "private", where the root
// is a mount point; in a chroot, whose root is none and cannot be made private, the
// mounts as they are when none of them is shared. Empty when neither holds.
QString IsolatingPropagation() {
    if (QProcess::execute("unshare", {"--mount", "--propagation", "private", "true"}) == 0) {
        return QStringLiteral("private");
    }
    QFile mountInfo(QStringLiteral("/proc/self/mountinfo"));
    if (!mountInfo.open(QIODevice::ReadOnly) || mountInfo.readAll().contains(" shared:")) {
        return {};
    }
    return QStringLiteral("unchanged");
}

TEST_F(StationFixture, TheJournalCarriesEachResultToACentralHost) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "not root: the test starts a systemd-journald of its own in a private "
                        "mount namespace (unshare -m), which needs root; CI runs it as root";
    }
    const QString propagation = IsolatingPropagation();
    if (propagation.isEmpty()) {
        GTEST_SKIP() << "the journald of the test cannot be kept from the machine's own: this "
                        "root is no mount point (a chroot) and some of its mounts are shared";
    }
    const QString passing = QString::fromStdString(StartDevice().SlavePath());
    devsim::Faults refuse;
    refuse.rejectBlock = 3;
    const QString refusing = QString::fromStdString(StartDevice(refuse).SlavePath());
    const quint16 httpPort = FreeLoopbackPort();
    ASSERT_NE(httpPort, 0);
    TempDir work;

    QProcess pipeline;
    pipeline.setProcessChannelMode(QProcess::MergedChannels);
    pipeline.start("timeout",
                   {"-k", "5", "90", "unshare", "--mount", "--propagation", propagation,
                    TOVRANE_JOURNAL_PIPELINE, TOVRANE_STATION_PATH,
                    QString::fromStdString(images.Path().string()),
                    QString::fromStdString(work.Path().string()), QString::number(httpPort),
                    "Li Wei", "WO-7, \"rush\"", passing, refusing});
    ASSERT_TRUE(pipeline.waitForFinished(100000));
    const QString output = QString::fromUtf8(pipeline.readAll());
    ASSERT_EQ(pipeline.exitCode(), 0) << output.toStdString();
    EXPECT_EQ(Text(work.File("station.status")).trimmed(), "1") << "one slot failed";

    // On the station: one entry per stored result, its priority by the verdict.
    const std::vector<QJsonObject> stored = JsonLines(work.File("results.jsonl"));
    ASSERT_EQ(stored.size(), 2u);
    const std::vector<QJsonObject> local = JsonLines(work.File("station.json"));
    ASSERT_EQ(local.size(), 2u);
    for (const QJsonObject& entry : local) {
        const bool passed = entry["TOVRANE_OUTCOME"] == "finished";
        EXPECT_EQ(entry["PRIORITY"], passed ? "6" : "4");
        EXPECT_EQ(entry["TOVRANE_SLOT"], passed ? passing : refusing);
    }

    // On the central host: the failure, found by its outcome, with every field.
    const std::vector<QJsonObject> failures = JsonLines(work.File("write_fail.json"));
    ASSERT_EQ(failures.size(), 1u) << output.toStdString();
    const QJsonObject& entry = failures[0];
    const QJsonObject& line = stored[0]["slot"] == refusing ? stored[0] : stored[1];
    EXPECT_EQ(entry["MESSAGE_ID"], "e7fc5491b1ad4edaa6108fccc23e9834");
    EXPECT_EQ(entry["SYSLOG_IDENTIFIER"], "tovrane-station");
    EXPECT_EQ(entry["MESSAGE"], QString("slot %1: write_fail, MCU 2 of 5 blocks, verified, %2 s, "
                                        "block 3 of 5 refused: ST3_0002")
                                    .arg(refusing)
                                    .arg(line["duration_ms"].toDouble() / 1000, 0, 'f', 1));
    EXPECT_EQ(entry["TOVRANE_RUN_ID"], line["run_id"]);
    EXPECT_EQ(entry["TOVRANE_SLOT"], refusing);
    EXPECT_EQ(entry["TOVRANE_OPERATION"], "mcu");
    EXPECT_EQ(entry["TOVRANE_SHA256"], line["sha256"]);
    EXPECT_EQ(entry["TOVRANE_OPERATOR"], "Li Wei");
    EXPECT_EQ(entry["TOVRANE_WORK_ORDER"], "WO-7, \"rush\"");
    EXPECT_EQ(entry["TOVRANE_ATTEMPT"], "1");
    EXPECT_FALSE(entry.contains("TOVRANE_RELEASE"));
    EXPECT_EQ(QJsonDocument::fromJson(entry["TOVRANE_RESULT"].toString().toUtf8()).object(), line);
}

}  // namespace

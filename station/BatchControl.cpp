#include "station/BatchControl.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

#include "station/Station.h"

CBatchControl::CBatchControl(CStation& station, bool start, bool quitWhenDone, QObject* parent)
    : QObject(parent), m_station(station), m_quitWhenDone(quitWhenDone) {
    if (quitWhenDone) {
        connect(&station, &CStation::Notice, this, [](const QString& text) {
            std::fprintf(stderr, "tovrane-station: %s\n", text.toLocal8Bit().constData());
        });
        connect(&station, &CStation::AllRunsEnded, this,
                [this] { Quit(m_station.AllPassedAndStored() ? 0 : 1); });
    }
    if (start) {
        QTimer::singleShot(0, this, &CBatchControl::StartWhenImagesChecked);
    }
}

void CBatchControl::StartWhenImagesChecked() {
    if (m_station.ImagesChecking()) {
        if (!m_waitForImages) {
            m_waitForImages = connect(&m_station, &CStation::ImagesChanged, this,
                                      &CBatchControl::StartWhenImagesChecked);
        }
        return;
    }
    disconnect(m_waitForImages);
    if (m_station.StartAll() == 0 && m_quitWhenDone) {
        Quit(1);
    }
}

void CBatchControl::Quit(int status) {
    QCoreApplication::exit(status);
}

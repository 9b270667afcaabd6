#pragma once

#include <QObject>

class CStation;

// A line's start-up script runs the station unattended: --start starts every slot
// once the images (or the bundle) are checked, and --quit-when-done ends the
// program when no run is left (exit status 0 only when every run passed and was
// stored). Unattended, whatever keeps the batch from starting goes to stderr and
// ends it with status 1.
class CBatchControl : public QObject {
    Q_OBJECT

  public:
    CBatchControl(CStation& station, bool start, bool quitWhenDone, QObject* parent = nullptr);

  private:
    void StartWhenImagesChecked();
    void Quit(int status);

    CStation& m_station;
    bool m_quitWhenDone;
    QMetaObject::Connection m_waitForImages;
};

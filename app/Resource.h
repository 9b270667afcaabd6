#pragma once

#include <QIcon>

#include "link/MainWindow.h"

// Dialog and string resources of the application.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_TOVRANE_DIALOG = 102;
inline constexpr int IDR_MAINFRAME = 128;

// Command id of the About entry; system commands keep their low four bits for the platform.
inline constexpr unsigned IDM_ABOUTBOX = 0x0010;
inline constexpr unsigned kSysCommandMask = 0xFFF0;

// Text of the About entry in the window's menu.
inline constexpr const char* kAboutMenuText = "关于 Tovrane(&A)...";

// Ids of the main window's controls besides the buttons of MainWindow.h.
enum DialogControlId : int {
    IdStatic = -1,  // labels and group boxes
    IdOk = 1,       // the OK command: "Update DSP" here, the About box's button there
    IdLogList = 1001,
    IdPortList = 1003,
    IdProgressBar = 1013,
    IdPercent = 1016,
    IdTotalBlocks = 1017,
    IdWrittenBlocks = 1018,
    IdElapsed = 1019,
    IdRemaining = 1020,
    IdSpeed = 1021,
    IdCurrentId = 1031,
};

// The application icon (resource 128).
QIcon AppIcon();

#pragma once

#include <QString>
#include <optional>

// The operation a slot runs: one of tovrane-cli's three.
enum class Operation { UpdateDsp, UpdateMcu, ReadVersion };

// "dsp", "mcu" or "version": the command line's and the result object's name.
QString OperationName(Operation operation);
std::optional<Operation> OperationFromName(const QString& name);

// The tovrane-cli option that runs it: "--update-dsp", ...
QString OperationFlag(Operation operation);

// Whether it writes an image (and so needs one).
bool WritesImage(Operation operation);

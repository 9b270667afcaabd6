#include "station/Operation.h"

#include "cli/JsonLines.h"

namespace {

struct OperationRow {
    Operation operation;
    const char* name;
    const char* flag;
};

constexpr OperationRow kOperations[] = {
    {Operation::UpdateDsp, jsonl::kOperationDsp, "--update-dsp"},
    {Operation::UpdateMcu, jsonl::kOperationMcu, "--update-mcu"},
    {Operation::ReadVersion, jsonl::kOperationVersion, "--read-version"},
};

const OperationRow& RowOf(Operation operation) {
    for (const OperationRow& row : kOperations) {
        if (row.operation == operation) {
            return row;
        }
    }
    return kOperations[0];
}

}  // namespace

QString OperationName(Operation operation) {
    return QString::fromLatin1(RowOf(operation).name);
}

std::optional<Operation> OperationFromName(const QString& name) {
    for (const OperationRow& row : kOperations) {
        if (name == QLatin1String(row.name)) {
            return row.operation;
        }
    }
    return std::nullopt;
}

QString OperationFlag(Operation operation) {
    return QString::fromLatin1(RowOf(operation).flag);
}

bool WritesImage(Operation operation) {
    return operation != Operation::ReadVersion;
}

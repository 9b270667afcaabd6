#include "station/OperatorFields.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

namespace {

// Longer names than this are not typed; the results file stays lean.
constexpr int kMaxChars = 200;

QLineEdit* Field(const QString& text, QWidget* parent) {
    auto* field = new QLineEdit(text, parent);
    field->setMaxLength(kMaxChars);
    field->setClearButtonEnabled(true);
    return field;
}

}  // namespace

COperatorFields::COperatorFields(const QString& operatorName, const QString& workOrder,
                                 QWidget* parent)
    : QWidget(parent), m_operator(Field(operatorName, this)), m_workOrder(Field(workOrder, this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    auto* operatorLabel = new QLabel(tr("&Operator:"), this);
    operatorLabel->setBuddy(m_operator);
    auto* workOrderLabel = new QLabel(tr("&Work order:"), this);
    workOrderLabel->setBuddy(m_workOrder);
    row->addWidget(operatorLabel);
    row->addWidget(m_operator, 1);
    row->addSpacing(24);
    row->addWidget(workOrderLabel);
    row->addWidget(m_workOrder, 1);
    connect(m_operator, &QLineEdit::textEdited, this, &COperatorFields::OperatorEdited);
    connect(m_workOrder, &QLineEdit::textEdited, this, &COperatorFields::WorkOrderEdited);
}

void COperatorFields::SetWorkOrderLocked(bool locked) {
    m_workOrder->setReadOnly(locked);
    m_workOrder->setClearButtonEnabled(!locked);
}

#pragma once

#include <QWidget>

class QLineEdit;

// The operator's name and the work order, above the slots table. Each run stores
// them as they are when it starts; empty fields are stored as null.
class COperatorFields : public QWidget {
    Q_OBJECT

  public:
    COperatorFields(const QString& operatorName, const QString& workOrder,
                    QWidget* parent = nullptr);

    // A locked work order cannot be changed here; the operator's name still can.
    void SetWorkOrderLocked(bool locked);

  signals:
    void OperatorEdited(const QString& name);
    void WorkOrderEdited(const QString& workOrder);

  private:
    QLineEdit* m_operator;
    QLineEdit* m_workOrder;
};

#pragma once

#include <QStyledItemDelegate>

// Edits a cell with a spin box for whole numbers from 0 to 100.
class SpinBoxDelegate : public QStyledItemDelegate
{
public:
    SpinBoxDelegate();
    ~SpinBoxDelegate() override;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;
};

// Edits a cell with a spin box for decimal numbers in [min, max], four decimals.
class DoubleSpinBoxDelegate : public QStyledItemDelegate
{
public:
    DoubleSpinBoxDelegate(double min, double max);
    ~DoubleSpinBoxDelegate() override;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

private:
    double min;
    double max;
};

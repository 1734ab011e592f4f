#include "spinboxdelegate.h"

#include <QDoubleSpinBox>
#include <QSpinBox>

SpinBoxDelegate::SpinBoxDelegate() = default;

SpinBoxDelegate::~SpinBoxDelegate() = default;

QWidget* SpinBoxDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const
{
    Q_UNUSED(option);
    Q_UNUSED(index);
    auto* editor = new QSpinBox(parent);
    editor->setFrame(false);
    editor->setRange(0, 100);
    return editor;
}

void SpinBoxDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    static_cast<QSpinBox*>(editor)->setValue(index.model()->data(index, Qt::EditRole).toInt());
}

void SpinBoxDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    auto* spin = static_cast<QSpinBox*>(editor);
    // Text typed but not yet confirmed with Enter counts too.
    spin->interpretText();
    model->setData(index, spin->value(), Qt::EditRole);
}

void SpinBoxDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                           const QModelIndex& index) const
{
    Q_UNUSED(index);
    editor->setGeometry(option.rect);
}

DoubleSpinBoxDelegate::DoubleSpinBoxDelegate(double min, double max)
    : min(min)
    , max(max)
{
}

DoubleSpinBoxDelegate::~DoubleSpinBoxDelegate() = default;

QWidget* DoubleSpinBoxDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                             const QModelIndex& index) const
{
    Q_UNUSED(option);
    Q_UNUSED(index);
    auto* editor = new QDoubleSpinBox(parent);
    editor->setFrame(false);
    editor->setRange(min, max);
    editor->setDecimals(4);
    return editor;
}

void DoubleSpinBoxDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    static_cast<QDoubleSpinBox*>(editor)->setValue(index.model()->data(index, Qt::EditRole).toDouble());
}

void DoubleSpinBoxDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    auto* spin = static_cast<QDoubleSpinBox*>(editor);
    spin->interpretText();
    model->setData(index, spin->value(), Qt::EditRole);
}

void DoubleSpinBoxDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                                 const QModelIndex& index) const
{
    Q_UNUSED(index);
    editor->setGeometry(option.rect);
}

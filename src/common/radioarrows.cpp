#include "radioarrows.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QPointer>

namespace {

class ArrowFocus : public QObject
{
public:
    ArrowFocus(const QList<QAbstractButton*>& radios, QObject* parent)
        : QObject(parent)
    {
        for (QAbstractButton* r : radios) {
            m_radios << r;
            r->installEventFilter(this);
        }
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        int step = 0;
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Up:
        case Qt::Key_Left:
            step = -1;
            break;
        case Qt::Key_Down:
        case Qt::Key_Right:
            step = 1;
            break;
        default:
            return false;
        }
        int i = 0;
        while (i < m_radios.size() && m_radios.at(i) != watched)
            ++i;
        for (i += step; i >= 0 && i < m_radios.size(); i += step) {
            QAbstractButton* next = m_radios.at(i);
            if (next && next->isEnabled() && next->isVisible()) {
                next->setFocus(step < 0 ? Qt::BacktabFocusReason : Qt::TabFocusReason);
                break;
            }
        }
        return true;
    }

private:
    QList<QPointer<QAbstractButton>> m_radios;
};

} // namespace

void moveFocusOnArrows(const QList<QAbstractButton*>& radios)
{
    if (!radios.isEmpty())
        new ArrowFocus(radios, radios.first());
}

#include "autoscrolltableview.h"

#include <QKeyEvent>
#include <QTimer>

#include <climits>

AutoScrollTableView::AutoScrollTableView()
    : m_timer(new QTimer(this))
{
    m_timer->setInterval(FORGET_MS);
    QObject::connect(m_timer, &QTimer::timeout, this, &AutoScrollTableView::clearTypedRow);
}

AutoScrollTableView::~AutoScrollTableView() = default;

void AutoScrollTableView::clearTypedRow()
{
    m_typedRow = 0;
    m_timer->stop();
}

void AutoScrollTableView::keyReleaseEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key < Qt::Key_0 || key > Qt::Key_9 || currentIndex().column() == 1)
        return;
    m_timer->start();
    const int digit = key - Qt::Key_0;
    // A number that would not fit stays past every row instead of wrapping.
    m_typedRow = m_typedRow > (INT_MAX - digit) / 10 ? INT_MAX : m_typedRow * 10 + digit;
    selectRow(m_typedRow); // a row that does not exist selects nothing
}

#include "tableroom.h"

#include <QHeaderView>
#include <QStyle>
#include <QTableView>

QSize tableRoom(const QTableView* view, int rows, bool scrollBar)
{
    const int frame = 2 * view->frameWidth();
    const QHeaderView* rowNumbers = view->verticalHeader();
    const QHeaderView* columns = view->horizontalHeader();
    const int bar = scrollBar ? view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view) : 0;
    return {frame + qMax(rowNumbers->minimumWidth(), rowNumbers->sizeHint().width()) + columns->length() + bar,
            frame + columns->sizeHint().height() + (rows < 0 ? rowNumbers->length() : rows * rowNumbers->defaultSectionSize())};
}

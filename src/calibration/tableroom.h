#pragma once

#include <QSize>

class QTableView;

// The room `view` needs to show every column and `rows` rows (every row when
// negative) without scrolling; with `scrollBar`, beside a vertical scroll bar.
QSize tableRoom(const QTableView* view, int rows, bool scrollBar);

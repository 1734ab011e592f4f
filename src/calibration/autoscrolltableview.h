#pragma once

#include <QTableView>

class QTimer;

// A table view that selects a row when its number is typed: digits typed
// within a second of each other form one row number (1 then 2 selects row 12).
// Digits typed in the value column (column 1) are left to the cell editor.
class AutoScrollTableView : public QTableView
{
public:
    static constexpr int FORGET_MS = 1000;

    AutoScrollTableView();
    ~AutoScrollTableView() override;

    // Forgets the digits typed so far.
    void clearTypedRow();

protected:
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    QTimer* m_timer;
    int m_typedRow = 0;
};

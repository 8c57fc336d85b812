#pragma once

class QScrollBar;
class QTableView;
class RecordSource;

// Puts a grid on a record source: it lists the visible rows under the column
// names, marks the current row and follows every move; choosing a row in the
// grid makes that row current. Cells take no typing.
//
// A record source of many rows (the whole ledger) is shown through a window: the
// grid's model then holds only the rows in sight, and a scroll bar of its own, in
// the place of the grid's, spans every row. Keys, the wheel and the bar move
// through all of them, so no part of the grid keeps anything per row.
void bindGrid(QTableView *grid, RecordSource *source);

// The scroll bar that moves through a bound grid's rows: its own while a window
// shows them, else the grid's.
QScrollBar *gridScrollBar(QTableView *grid);

// From how many rows a grid shows its record source through a window.
int gridWindowFrom();
void setGridWindowFrom(int rows);

#pragma once

class QTableView;
class RecordSource;

// Puts a grid on a record source: it lists the visible rows under the column
// names, marks the current row and follows every move; choosing a row in the
// grid makes that row current. Cells take no typing.
void bindGrid(QTableView *grid, RecordSource *source);

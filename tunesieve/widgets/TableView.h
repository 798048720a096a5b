#pragma once

#include <QString>
#include <QTableView>

class TableView;

struct TableColumn
{
    QString identifier;
    int width;
};

// Asked by a table for its number of rows and for a view for each visible cell.
class TableViewDataSource
{
public:
    virtual int numberOfRows(TableView* table) = 0;
    // A new view for the cell, which the table takes over, or none. `column` may be absent.
    virtual QWidget* tableView(TableView* table, const TableColumn* column, int row) = 0;

protected:
    ~TableViewDataSource() = default;
};

// A table whose cells are views that its data source makes, asked for only while their row is in view: a list of
// any length costs views for the visible rows alone. Cells that scroll out of view are dropped, and every reload
// asks for all visible cells anew. Like a desktop table, its last column takes up the width that the others leave.
class TableView : public QTableView
{
public:
    explicit TableView(QWidget* parent = nullptr);

    void setDataSource(TableViewDataSource* dataSource) { m_dataSource = dataSource; }
    void setRowHeight(int height);
    void addTableColumn(const TableColumn& column);
    const QList<TableColumn>& tableColumns() const { return m_columns; }

    // Asks the data source again for the number of rows and for every visible cell.
    void reloadData();

protected:
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    class Model;

    void applyColumnWidths();
    void loadVisibleCells();
    void dropCells(int firstRow, int lastRow);

    Model* m_model;
    TableViewDataSource* m_dataSource = nullptr;
    QList<TableColumn> m_columns;
    // The rows whose cells were asked for, a range that follows the viewport; empty when first > last.
    int m_firstLoadedRow = 0;
    int m_lastLoadedRow = -1;
};

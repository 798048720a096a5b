#include "TableView.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QScrollBar>

#include <algorithm>

// Only the shape of the table: the cells are views, so there is no data to hand out.
class TableView::Model : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_rows; }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_columns; }
    QVariant data(const QModelIndex&, int) const override { return {}; }

    void reset(int rows, int columns)
    {
        beginResetModel();
        m_rows = rows;
        m_columns = columns;
        endResetModel();
    }

private:
    int m_rows = 0;
    int m_columns = 0;
};

TableView::TableView(QWidget* parent) : QTableView(parent), m_model(new Model(this))
{
    setModel(m_model);
    setShowGrid(false);
    setEditTriggers(NoEditTriggers);
    setSelectionBehavior(SelectRows);
    setSelectionMode(SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setStretchLastSection(true);
    // Rows have no titles of their own.
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
}

void TableView::setRowHeight(int height)
{
    verticalHeader()->setDefaultSectionSize(height);
}

void TableView::addTableColumn(const TableColumn& column)
{
    m_columns.append(column);
    reloadData();
}

void TableView::reloadData()
{
    m_model->reset(m_dataSource ? std::max(0, m_dataSource->numberOfRows(this)) : 0, int(m_columns.size()));
    // The reset released every cell.
    m_firstLoadedRow = 0;
    m_lastLoadedRow = -1;
    applyColumnWidths();
    // Settles the scroll range now, so that a shorter list is not looked at past its end.
    executeDelayedItemsLayout();
    loadVisibleCells();
}

void TableView::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    loadVisibleCells();
}

void TableView::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    loadVisibleCells();
}

void TableView::showEvent(QShowEvent* event)
{
    QTableView::showEvent(event);
    loadVisibleCells();
}

void TableView::applyColumnWidths()
{
    for (int i = 0; i < m_columns.size(); ++i) {
        horizontalHeader()->resizeSection(i, m_columns.at(i).width);
    }
}

void TableView::loadVisibleCells()
{
    const int rows = m_model->rowCount();
    int first = rowAt(0);
    int last = rowAt(viewport()->height() - 1);
    if (rows == 0 || first < 0 || !m_dataSource) {
        dropCells(m_firstLoadedRow, m_lastLoadedRow);
        m_firstLoadedRow = 0;
        m_lastLoadedRow = -1;
        return;
    }
    if (last < 0) {
        last = rows - 1;
    }
    dropCells(m_firstLoadedRow, std::min(m_lastLoadedRow, first - 1));
    dropCells(std::max(m_firstLoadedRow, last + 1), m_lastLoadedRow);
    for (int row = first; row <= last; ++row) {
        for (int column = 0; column < m_columns.size(); ++column) {
            const QModelIndex index = m_model->index(row, column);
            if (!indexWidget(index)) {
                if (QWidget* cell = m_dataSource->tableView(this, &m_columns.at(column), row)) {
                    setIndexWidget(index, cell);
                }
            }
        }
    }
    m_firstLoadedRow = first;
    m_lastLoadedRow = last;
}

void TableView::dropCells(int firstRow, int lastRow)
{
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int column = 0; column < m_columns.size(); ++column) {
            // Deleted later by the view: the cell may be the button whose click is being handled.
            setIndexWidget(m_model->index(row, column), nullptr);
        }
    }
}

#pragma once

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QTableView>

class TManager;

// The state grid's rows and columns as the manager describes them.
class TSostGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TSostGridModel(QObject *parent = nullptr);
    void setManager(TManager *manager);
    TManager *manager() const { return m_manager; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    void reset();
    void refresh(); // values changed, shape kept

    // The status lamps: 0 grey, 1 green, 2 red, 3 dark grey.
    static QIcon lampIcon(int index);

private:
    TManager *m_manager = nullptr;
};

// Column captions wrapped over two lines.
class TWrapHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit TWrapHeader(QWidget *parent = nullptr);
    QSize sizeHint() const override;
    // The caption as drawn in a column of this width: on one line, or over two broken at the
    // blank nearest the middle when it is wider.
    static QString caption(const QString &text, const QFontMetrics &fm, int width);
    // The narrowest column that shows the caption whole.
    int neededWidth(int logicalIndex) const;

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
};

// The grid widget: column widths go back to the manager, the selected row's object number is
// reported, the context menu is the main window's.
class TSostGrid : public QTableView {
    Q_OBJECT
public:
    explicit TSostGrid(QWidget *parent = nullptr);
    TSostGridModel *gridModel() const { return m_model; }
    void setManager(TManager *manager);
    // The text in the first column of the current row (the object number), empty without one.
    QString currentObjectText() const;
    void applyWidths();

signals:
    void currentObjectChanged(int number, int row);

private:
    TSostGridModel *m_model;
};

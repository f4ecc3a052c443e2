#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QString>

#include "EKMemDataSet.h"

#include <string>

// The table model of a grid over an in-memory data set: one row per completed
// row, one column per field, each cell shown with its field's display format
// and display-text handler. Rows appended at the end are announced as
// inserted rows, so a view keeps its current row and scroll position. The
// model does not own the data set; when the data set is destroyed first the
// model becomes empty.
class TEKMemDataModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit TEKMemDataModel(TEKMemDataSet *dataSet, QObject *parent = nullptr);
    ~TEKMemDataModel() override;

    TEKMemDataSet *DataSet() const { return FDataSet; }
    // Shows another data set (or none).
    void SetDataSet(TEKMemDataSet *dataSet);

    // The column's caption; the field name until one is set. Captions are
    // kept by field name, so they survive a redefinition of the columns.
    QString Caption(int column) const;
    void SetCaption(int column, const QString &caption);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // Horizontal sections: the caption (display or edit role).
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                       int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    void Attach(TEKMemDataSet *dataSet);
    void Detach();
    void Recount();
    QString FieldName(int column) const;

    TEKMemDataSet *FDataSet = nullptr;
    int FListenerId = 0;
    int FRows = 0;    // rows announced to the views
    int FColumns = 0; // fields when last reset
    QHash<QString, QString> FCaptions;
    mutable std::string FScratch; // text of the cell being shown, with a handler
    mutable TEKCellText FCell;    // and without one
};

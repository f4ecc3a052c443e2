#include "EKMemDataModel.h"

#include "EKMemDataSet.h"

#include <QByteArray>

TEKMemDataModel::TEKMemDataModel(TEKMemDataSet *dataSet, QObject *parent)
    : QAbstractTableModel(parent)
{
    Attach(dataSet);
}

TEKMemDataModel::~TEKMemDataModel()
{
    Detach();
}

void TEKMemDataModel::SetDataSet(TEKMemDataSet *dataSet)
{
    if (dataSet == FDataSet)
        return;
    beginResetModel();
    Detach();
    Attach(dataSet);
    endResetModel();
}

void TEKMemDataModel::Attach(TEKMemDataSet *dataSet)
{
    FDataSet = dataSet;
    Recount();
    if (!FDataSet)
        return;
    FListenerId = FDataSet->AddListener([this](const TEKDataSetNotice &notice) {
        switch (notice.Change) {
        case ekdcReset:
            beginResetModel();
            Recount();
            endResetModel();
            break;
        case ekdcRowsAppended: {
            // Rows come only at the end; a notice that does not follow on
            // from what the views know is taken as a reset.
            const int last = notice.FirstRow + notice.Count - 1;
            if (notice.Count <= 0 || notice.FirstRow != FRows || last >= FDataSet->RecordCount()) {
                beginResetModel();
                Recount();
                endResetModel();
                break;
            }
            beginInsertRows(QModelIndex(), notice.FirstRow, last);
            FRows = last + 1;
            endInsertRows();
            break;
        }
        case ekdcRowsChanged: {
            const int first = std::max(0, notice.FirstRow);
            const int last = std::min(FRows - 1, notice.FirstRow + notice.Count - 1);
            if (first <= last && FColumns > 0)
                emit dataChanged(index(first, 0), index(last, FColumns - 1));
            break;
        }
        case ekdcDestroyed:
            beginResetModel();
            FDataSet = nullptr;
            FListenerId = 0;
            Recount();
            endResetModel();
            break;
        }
    });
}

void TEKMemDataModel::Detach()
{
    if (FDataSet && FListenerId)
        FDataSet->RemoveListener(FListenerId);
    FDataSet = nullptr;
    FListenerId = 0;
}

void TEKMemDataModel::Recount()
{
    if (!FDataSet) {
        FRows = FColumns = 0;
        return;
    }
    FRows = FDataSet->RecordCount() - (FDataSet->HasPendingRow() ? 1 : 0);
    FColumns = FDataSet->FieldCount();
}

int TEKMemDataModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : FRows;
}

int TEKMemDataModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : FColumns;
}

Qt::ItemFlags TEKMemDataModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

QVariant TEKMemDataModel::data(const QModelIndex &index, int role) const
{
    if (!FDataSet || !index.isValid() || index.row() >= FRows || index.column() >= FColumns)
        return QVariant();
    const TEKMemField *field = FDataSet->Fields(index.column());
    if (!field || index.row() >= FDataSet->RecordCount())
        return QVariant();
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole: {
        if (!field->OnGetText()) {
            // Straight from the stored text or a stack buffer: a grid asks
            // for every visible cell on every paint.
            if (field->IsNullAt(row))
                return QString();
            bool ascii = false;
            const std::string_view text = field->DisplayView(row, FCell, ascii);
            const auto size = static_cast<qsizetype>(text.size());
            return ascii ? QString::fromLatin1(text.data(), size)
                         : QString::fromUtf8(text.data(), size);
        }
        FScratch.clear();
        field->AppendDisplayText(row, FScratch);
        return QString::fromUtf8(FScratch.data(), static_cast<qsizetype>(FScratch.size()));
    }
    case Qt::TextAlignmentRole:
        if (field->FieldType() == ekftInteger || field->FieldType() == ekftFloat)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    default:
        return QVariant();
    }
}

QString TEKMemDataModel::FieldName(int column) const
{
    const TEKMemField *field = FDataSet ? FDataSet->Fields(column) : nullptr;
    return field ? QString::fromStdString(field->Name()) : QString();
}

QString TEKMemDataModel::Caption(int column) const
{
    if (column < 0 || column >= FColumns)
        return QString();
    const QString name = FieldName(column);
    const auto it = FCaptions.constFind(name);
    return it == FCaptions.constEnd() ? name : it.value();
}

void TEKMemDataModel::SetCaption(int column, const QString &caption)
{
    if (column < 0 || column >= FColumns)
        return;
    FCaptions.insert(FieldName(column), caption);
    emit headerDataChanged(Qt::Horizontal, column, column);
}

QVariant TEKMemDataModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (role == Qt::DisplayRole || role == Qt::EditRole) {
            if (section < 0 || section >= FColumns)
                return QVariant();
            return Caption(section);
        }
        return QVariant();
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool TEKMemDataModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                                    int role)
{
    if (orientation != Qt::Horizontal || (role != Qt::EditRole && role != Qt::DisplayRole) ||
        section < 0 || section >= FColumns)
        return false;
    SetCaption(section, value.toString());
    return true;
}

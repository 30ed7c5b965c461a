#include "Torvane/ui/ProfileListModel.h"

#include "Torvane/core/ConnectionManager.h"
#include "Torvane/core/ProfileStore.h"
#include "Torvane/ui/StatusIcons.h"

#include <algorithm>
#include <set>

#include <QDataStream>
#include <QIODevice>
#include <QMimeData>

namespace torvane {

ProfileListModel::ProfileListModel(ProfileStore& store, ConnectionManager& connection,
                                   QObject* parent)
    : QAbstractListModel(parent), m_store(store), m_connection(connection) {
    // The store announces every change as one signal; a reset is the only
    // honest translation, and the window restores its selection by id.
    connect(&m_store, &ProfileStore::profilesChanged, this, [this] {
        beginResetModel();
        endResetModel();
    });
    connect(&m_connection, &ConnectionManager::statusChanged, this, [this] {
        if (rowCount() > 0) {
            emit dataChanged(index(0), index(rowCount() - 1),
                             {StateRole, Qt::AccessibleTextRole, Qt::AccessibleDescriptionRole,
                              Qt::ToolTipRole});
        }
    });
}

int ProfileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_store.profiles().size());
}

QVariant ProfileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) {
        return {};
    }
    const VPNProfile& profile = m_store.profiles()[static_cast<std::size_t>(index.row())];
    const auto state = [&] {
        return StatusIcons::tunnelState(m_connection.status(), profile.id.upperText());
    };
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(profile.name);
    // The dot's colour is all a sighted user gets; a screen reader reads the
    // state with the name, and hovering the row shows it in words.
    case Qt::AccessibleTextRole:
        return QStringLiteral("%1, %2").arg(QString::fromStdString(profile.name),
                                            StatusIcons::stateName(state()));
    case Qt::AccessibleDescriptionRole:
    case Qt::ToolTipRole:
        return StatusIcons::stateName(state());
    case StateRole:
        return static_cast<int>(state());
    case IdRole:
        return QString::fromStdString(profile.id.upperText());
    default:
        return {};
    }
}

Qt::ItemFlags ProfileListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::ItemIsDropEnabled;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

Qt::DropActions ProfileListModel::supportedDropActions() const {
    return Qt::MoveAction;
}

QStringList ProfileListModel::mimeTypes() const {
    return {QString::fromLatin1(kMimeType)};
}

QMimeData* ProfileListModel::mimeData(const QModelIndexList& indexes) const {
    QByteArray encoded;
    QDataStream stream(&encoded, QIODevice::WriteOnly);
    for (const QModelIndex& index : indexes) {
        if (index.isValid()) {
            stream << static_cast<qint32>(index.row());
        }
    }
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(kMimeType), encoded);
    return mime;
}

bool ProfileListModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row,
                                    int /*column*/, const QModelIndex& parent) {
    if (action == Qt::IgnoreAction) {
        return true;
    }
    if (data == nullptr || action != Qt::MoveAction ||
        !data->hasFormat(QString::fromLatin1(kMimeType))) {
        return false;
    }
    QByteArray encoded = data->data(QString::fromLatin1(kMimeType));
    QDataStream stream(&encoded, QIODevice::ReadOnly);
    std::vector<int> rows;
    while (!stream.atEnd()) {
        qint32 value = -1;
        stream >> value;
        if (stream.status() != QDataStream::Ok) {
            return false;
        }
        rows.push_back(value);
    }
    // Dropped onto a row means before it; below the last row means the end.
    int destination = row;
    if (destination < 0) {
        destination = parent.isValid() ? parent.row() : rowCount();
    }
    return moveProfiles(std::move(rows), destination);
}

bool ProfileListModel::moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
                                const QModelIndex& destinationParent, int destinationChild) {
    if (sourceParent.isValid() || destinationParent.isValid() || count <= 0) {
        return false;
    }
    std::vector<int> rows;
    for (int i = 0; i < count; ++i) {
        rows.push_back(sourceRow + i);
    }
    return moveProfiles(std::move(rows), destinationChild);
}

bool ProfileListModel::moveProfiles(std::vector<int> rows, int destination) {
    const int count = rowCount();
    std::set<int> unique(rows.begin(), rows.end());
    if (unique.empty() || *unique.begin() < 0 || *unique.rbegin() >= count || destination < 0 ||
        destination > count) {
        return false;
    }
    // A block dropped onto itself or just below itself stays where it is; the
    // daemon hears nothing then.
    const bool contiguous =
        *unique.rbegin() - *unique.begin() + 1 == static_cast<int>(unique.size());
    if (contiguous && destination >= *unique.begin() && destination <= *unique.rbegin() + 1) {
        return true;
    }
    m_store.move(std::vector<int>(unique.begin(), unique.end()), destination);
    pushPriorities();
    return true;
}

void ProfileListModel::pushPriorities() {
    std::vector<Uuid> ids;
    ids.reserve(m_store.profiles().size());
    for (const auto& profile : m_store.profiles()) {
        ids.push_back(profile.id);
    }
    m_connection.pushPriorities(ids);
}

std::optional<Uuid> ProfileListModel::profileID(int row) const {
    if (row < 0 || row >= rowCount()) {
        return std::nullopt;
    }
    return m_store.profiles()[static_cast<std::size_t>(row)].id;
}

int ProfileListModel::rowOf(const Uuid& profileID) const {
    const auto& profiles = m_store.profiles();
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        if (profiles[i].id == profileID) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace torvane

#include "Torvane/ui/ProfileListModel.h"

#include "Torvane/core/ConnectionManager.h"
#include "Torvane/core/ProfileStore.h"
#include "Torvane/ui/StatusIcons.h"
#include "Torvane/ui/TrayMenu.h"

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
    const auto reset = [this] {
        beginResetModel();
        rebuildRows();
        endResetModel();
    };
    connect(&m_store, &ProfileStore::profilesChanged, this, reset);
    connect(&m_connection, &ConnectionManager::managedProfilesChanged, this, reset);
    rebuildRows();
    connect(&m_connection, &ConnectionManager::statusChanged, this, [this] {
        if (rowCount() > 0) {
            emit dataChanged(index(0), index(rowCount() - 1),
                             {StateRole, Qt::AccessibleTextRole, Qt::AccessibleDescriptionRole,
                              Qt::ToolTipRole});
        }
    });
}

void ProfileListModel::rebuildRows() {
    m_rows.clear();
    const auto& managed = m_connection.managedProfiles();
    const auto& stored = m_store.profiles();
    if (!managed.empty()) {
        m_rows.push_back({Row::Kind::heading, 0});
        for (std::size_t i = 0; i < managed.size(); ++i) {
            m_rows.push_back({Row::Kind::managed, static_cast<int>(i)});
        }
    }
    bool headed = managed.empty();
    for (std::size_t i = 0; i < stored.size(); ++i) {
        // Hidden behind the managed profile with its id.
        if (m_connection.managedProfile(stored[i].id) != nullptr) {
            continue;
        }
        if (!headed) {
            m_rows.push_back({Row::Kind::heading, 1});
            headed = true;
        }
        m_rows.push_back({Row::Kind::user, static_cast<int>(i)});
    }
}

int ProfileListModel::firstUserRow() const {
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].kind == Row::Kind::user) {
            return static_cast<int>(i);
        }
    }
    return rowCount();
}

int ProfileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant ProfileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) {
        return {};
    }
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    if (row.kind == Row::Kind::heading) {
        const QString title =
            row.index == 0 ? TrayMenu::managedSectionTitle() : tr("Your profiles");
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return title;
        case HeadingRole:
            return true;
        default:
            return {};
        }
    }
    const bool managed = row.kind == Row::Kind::managed;
    const VPNProfile& profile =
        managed ? m_connection.managedProfiles()[static_cast<std::size_t>(row.index)].profile
                : m_store.profiles()[static_cast<std::size_t>(row.index)];
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
        return managed ? QStringLiteral("%1 — %2").arg(StatusIcons::stateName(state()),
                                                       TrayMenu::managedRowToolTip())
                       : StatusIcons::stateName(state());
    case Qt::DecorationRole:
        return managed ? QVariant(StatusIcons::named("lock-managed")) : QVariant();
    case StateRole:
        return static_cast<int>(state());
    case IdRole:
        return QString::fromStdString(profile.id.upperText());
    case ManagedRole:
        return managed;
    case HeadingRole:
        return false;
    default:
        return {};
    }
}

Qt::ItemFlags ProfileListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::ItemIsDropEnabled;
    }
    switch (m_rows[static_cast<std::size_t>(index.row())].kind) {
    case Row::Kind::heading:
        return Qt::ItemIsEnabled;
    case Row::Kind::managed:
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    case Row::Kind::user:
        break;
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
    // Only the user's rows move, and only among themselves: a drop above
    // them lands at the top of the user's list.
    std::vector<int> storeRows;
    for (const int row : unique) {
        const Row& each = m_rows[static_cast<std::size_t>(row)];
        if (each.kind != Row::Kind::user) {
            return false;
        }
        storeRows.push_back(each.index);
    }
    destination = std::max(destination, firstUserRow());
    const int storeDestination = destination < count
                                     ? m_rows[static_cast<std::size_t>(destination)].index
                                     : static_cast<int>(m_store.profiles().size());
    // A block dropped onto itself or just below itself stays where it is; the
    // daemon hears nothing then.
    const bool contiguous =
        storeRows.back() - storeRows.front() + 1 == static_cast<int>(storeRows.size());
    if (contiguous && storeDestination >= storeRows.front() &&
        storeDestination <= storeRows.back() + 1) {
        return true;
    }
    m_store.move(storeRows, storeDestination);
    pushPriorities();
    return true;
}

void ProfileListModel::pushPriorities() {
    std::vector<Uuid> ids;
    for (const auto& profile : m_connection.userProfiles()) {
        ids.push_back(profile.id);
    }
    m_connection.pushPriorities(ids);
}

std::optional<Uuid> ProfileListModel::profileID(int row) const {
    if (row < 0 || row >= rowCount()) {
        return std::nullopt;
    }
    const Row& each = m_rows[static_cast<std::size_t>(row)];
    switch (each.kind) {
    case Row::Kind::heading:
        return std::nullopt;
    case Row::Kind::managed:
        return m_connection.managedProfiles()[static_cast<std::size_t>(each.index)].profile.id;
    case Row::Kind::user:
        break;
    }
    return m_store.profiles()[static_cast<std::size_t>(each.index)].id;
}

int ProfileListModel::rowOf(const Uuid& id) const {
    for (int row = 0; row < rowCount(); ++row) {
        if (profileID(row) == id) {
            return row;
        }
    }
    return -1;
}

} // namespace torvane

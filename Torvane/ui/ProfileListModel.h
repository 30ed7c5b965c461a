#pragma once

#include <optional>
#include <vector>

#include <QAbstractListModel>

namespace torvane {

// Declared only: moc cannot read the standard headers Uuid.h pulls in next
// to the item-model ones.
class Uuid;
class ConnectionManager;
class ProfileStore;

/// The profile list as a list model: the administrator's profiles under
/// their heading, then the user's stored profiles in store order (under
/// their own heading when there are managed ones), each with the state of
/// its tunnel. The user's rows can be moved (by drag and drop); every move
/// changes the store and then sends the user's whole new order to the daemon
/// once. Headings and managed rows never move, and nothing moves among them.
class ProfileListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        /// The profile's tunnel state (a VPNConnState as int).
        StateRole = Qt::UserRole + 1,
        /// The profile's id, upper-case text.
        IdRole,
        /// True on the administrator's profiles.
        ManagedRole,
        /// True on a section heading (not a profile).
        HeadingRole,
    };
    static constexpr const char* kMimeType = "application/x-torvane-profile-rows";

    /// Both must outlive the model.
    ProfileListModel(ProfileStore& store, ConnectionManager& connection, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    Qt::DropActions supportedDropActions() const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    bool moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
                  const QModelIndex& destinationParent, int destinationChild) override;

    /// Moves the rows before the row that was at `destination` (list-move
    /// semantics), then pushes the new order. Rows out of range refuse the
    /// whole move.
    bool moveProfiles(std::vector<int> rows, int destination);
    /// Sends the user's current order to the daemon (managed profiles come
    /// first there anyway).
    void pushPriorities();

    std::optional<Uuid> profileID(int row) const;
    /// The row of the profile with this id, or -1.
    int rowOf(const Uuid& profileID) const;

private:
    struct Row {
        enum class Kind { heading, managed, user };
        Kind kind;
        /// Into the managed list or the store; for headings, which one.
        int index;
    };

    void rebuildRows();
    int firstUserRow() const;

    ProfileStore& m_store;
    std::vector<Row> m_rows;
    ConnectionManager& m_connection;
};

} // namespace torvane

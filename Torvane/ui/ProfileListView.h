#pragma once

#include <QListView>

namespace torvane {

/// The profile list: names with a status dot at the trailing edge, one
/// selection, rows reordered by dragging or by Ctrl+Up / Ctrl+Down, and
/// "Delete" on a row's context menu or the Delete key. The administrator's
/// profiles (locked) are neither moved nor deleted.
class ProfileListView : public QListView {
    Q_OBJECT

public:
    explicit ProfileListView(QWidget* parent = nullptr);

signals:
    void deleteRequested(int row);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace torvane

#include "Torvane/ui/ProfileListView.h"

#include "Torvane/ui/ProfileListModel.h"
#include "Torvane/ui/StatusIcons.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>

namespace torvane {

namespace {

/// Paints the row as usual, with room kept for an 8-pixel dot at the
/// trailing edge in the colour of the tunnel's state.
class StatusDotDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr int kDot = 8;
    static constexpr int kMargin = 8;
    static constexpr int kTextInset = 4;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        // The selection spans the whole row; the name stops short of the dot.
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        if (index.data(ProfileListModel::HeadingRole).toBool()) {
            // A section heading: small bold text, no selection, no dot.
            item.font.setBold(true);
            item.font.setPointSizeF(item.font.pointSizeF() * 0.85);
            item.state &= ~(QStyle::State_Selected | QStyle::State_MouseOver);
            item.palette.setColor(QPalette::Text, item.palette.color(QPalette::PlaceholderText));
            QStyledItemDelegate::paint(painter, item, index);
            return;
        }
        const QString name = item.text;
        item.text.clear();
        const QWidget* widget = option.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
        QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
        textRect.adjust(kTextInset, 0, -(kDot + 2 * kMargin), 0);
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        painter->save();
        painter->setFont(item.font);
        style->drawItemText(painter, textRect, Qt::AlignLeft | Qt::AlignVCenter, item.palette,
                            (option.state & QStyle::State_Enabled) != 0,
                            item.fontMetrics.elidedText(name, Qt::ElideRight, textRect.width()),
                            selected ? QPalette::HighlightedText : QPalette::Text);
        painter->restore();

        const auto state =
            static_cast<VPNConnState>(index.data(ProfileListModel::StateRole).toInt());
        const QColor color = StatusIcons::dotColor(state);
        if (!color.isValid()) {
            return;
        }
        const QRect dot(option.rect.right() - kMargin - kDot, option.rect.center().y() - kDot / 2,
                        kDot, kDot);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(color);
        painter->drawEllipse(dot);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(std::max(size.height(), 24));
        return size;
    }
};

} // namespace

ProfileListView::ProfileListView(QWidget* parent) : QListView(parent) {
    setItemDelegate(new StatusDotDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::InternalMove);
    setDefaultDropAction(Qt::MoveAction);
    setAccessibleName(tr("Profiles"));
    setAccessibleDescription(tr("Ctrl+Up and Ctrl+Down move the selected profile up or down."));
}

void ProfileListView::contextMenuEvent(QContextMenuEvent* event) {
    const QModelIndex index = indexAt(event->pos());
    // The administrator's profiles and the headings cannot be deleted here.
    if (!index.isValid() || (index.flags() & Qt::ItemIsDragEnabled) == 0) {
        return;
    }
    QMenu menu(this);
    QAction* remove = menu.addAction(tr("Delete"));
    if (menu.exec(event->globalPos()) == remove) {
        emit deleteRequested(index.row());
    }
}

void ProfileListView::keyPressEvent(QKeyEvent* event) {
    const bool moveUp = event->key() == Qt::Key_Up;
    if ((moveUp || event->key() == Qt::Key_Down) && event->modifiers() == Qt::ControlModifier &&
        currentIndex().isValid()) {
        // The model's move is the one a drop makes, so the store and the
        // daemon's priorities change exactly as they would for a drag. The
        // destination is the row the moved one goes before.
        const int row = currentIndex().row();
        const int destination = moveUp ? row - 1 : row + 2;
        if (destination >= 0 && destination <= model()->rowCount()) {
            model()->moveRows(QModelIndex(), row, 1, QModelIndex(), destination);
        }
        event->accept();
        return;
    }
    if ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) &&
        currentIndex().isValid() && !currentIndex().data(ProfileListModel::ManagedRole).toBool()) {
        emit deleteRequested(currentIndex().row());
        return;
    }
    QListView::keyPressEvent(event);
}

} // namespace torvane

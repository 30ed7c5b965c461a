#include "Torvane/ui/ConfigWindow.h"

#include "Torvane/core/ConnectionManager.h"
#include "Torvane/core/ProfileStore.h"
#include "Torvane/ui/AboutPanel.h"
#include "Torvane/ui/DesktopNotifier.h"
#include "Torvane/ui/ImportFlow.h"
#include "Torvane/ui/LeakCheckDialog.h"
#include "Torvane/ui/LogPane.h"
#include "Torvane/ui/ProfileEditorView.h"
#include "Torvane/ui/ProfileListModel.h"
#include "Torvane/ui/ProfileListView.h"
#include "Torvane/ui/StatusIcons.h"
#include "Torvane/ui/TunnelDetailsView.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace torvane {

namespace {

bool askDelete(QWidget* parent, const VPNProfile& profile) {
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(ConfigWindow::tr("Delete Profile"));
    box.setText(ConfigWindow::tr("Delete Profile"));
    // The name is the user's text: never markup.
    box.setInformativeText(Qt::convertFromPlainText(
        ConfigWindow::tr("Delete “%1”? This also removes its saved password and certificates, and "
                         "can’t be undone.")
            .arg(QString::fromStdString(profile.name))));
    QPushButton* remove = box.addButton(ConfigWindow::tr("Delete"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(ConfigWindow::tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == remove;
}

ConfigWindow::UnsavedAnswer askUnsaved(QWidget* parent, const VPNProfile& edited) {
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(ConfigWindow::tr("Unsaved Changes"));
    // The name is the user's text: never markup.
    box.setText(Qt::convertFromPlainText(
        ConfigWindow::tr("Save the changes to “%1”?").arg(QString::fromStdString(edited.name))));
    box.setInformativeText(ConfigWindow::tr("Your changes are lost if you don’t save them."));
    QPushButton* save = box.addButton(ConfigWindow::tr("Save"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(ConfigWindow::tr("Discard"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(ConfigWindow::tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save) {
        return ConfigWindow::UnsavedAnswer::save;
    }
    if (box.clickedButton() == discard) {
        return ConfigWindow::UnsavedAnswer::discard;
    }
    return ConfigWindow::UnsavedAnswer::cancel;
}

QToolButton* makeBarButton(QWidget* parent, const char* icon, const QString& tooltip) {
    auto* button = new QToolButton(parent);
    button->setIcon(StatusIcons::named(icon));
    button->setIconSize(QSize(16, 16));
    button->setToolTip(tooltip);
    button->setAccessibleName(tooltip);
    button->setAutoRaise(true);
    return button;
}

} // namespace

ConfigWindow::ConfigWindow(ConnectionManager& connection, ProfileStore& store,
                           ConfigWindowModel& windowModel, TrafficHistory& traffic, QWidget* parent)
    : QMainWindow(parent), m_connection(connection), m_store(store), m_windowModel(windowModel),
      m_traffic(traffic) {
    setWindowTitle(tr("Torvane Configuration"));
    setObjectName(QStringLiteral("config"));
    setWindowIcon(StatusIcons::named("torvane"));
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    resize(kDefaultWidth, kDefaultHeight);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    m_tabs = new QTabWidget(central);
    m_tabs->setAccessibleName(tr("Configuration tabs"));
    m_tabs->addTab(buildConnectionsTab(), StatusIcons::named("network"), tr("Connections"));
    m_logPane = new LogPane(m_connection, m_tabs);
    m_tabs->addTab(m_logPane, StatusIcons::named("text-align-left"), tr("Log"));
    layout->addWidget(m_tabs, 1);
    layout->addWidget(buildFooter());
    setCentralWidget(central);

    m_tabs->setCurrentIndex(static_cast<int>(m_windowModel.selectedTab()));
    connect(m_tabs, &QTabWidget::currentChanged, this,
            [this](int index) { m_windowModel.setSelectedTab(static_cast<ConfigTab>(index)); });
    connect(&m_windowModel, &ConfigWindowModel::selectedTabChanged, this,
            [this](ConfigTab tab) { m_tabs->setCurrentIndex(static_cast<int>(tab)); });
    connect(&m_connection, &ConnectionManager::statusChanged, this, &ConfigWindow::statusChanged);
    connect(&m_traffic, &TrafficHistory::updated, this, &ConfigWindow::showTunnelDetails);

    showDetail();
    statusChanged();
    showTunnelDetails();
}

ConfigWindow::~ConfigWindow() = default;

QWidget* ConfigWindow::buildConnectionsTab() {
    m_splitter = new QSplitter(Qt::Horizontal);

    auto* left = new QWidget(m_splitter);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    m_profileModel = new ProfileListModel(m_store, m_connection, this);
    m_profileList = new ProfileListView(left);
    m_profileList->setModel(m_profileModel);
    leftLayout->addWidget(m_profileList, 1);

    auto* caption = new QLabel(tr("Drag to reorder — profiles higher in the list take "
                                  "priority when connected tunnels have overlapping "
                                  "routes or DNS."),
                               left);
    caption->setWordWrap(true);
    QFont captionFont = caption->font();
    captionFont.setPointSizeF(captionFont.pointSizeF() * 0.85);
    caption->setFont(captionFont);
    caption->setForegroundRole(QPalette::PlaceholderText);
    leftLayout->addWidget(caption);

    auto* bar = new QHBoxLayout;
    m_addButton = makeBarButton(left, "plus", tr("Add a profile"));
    m_removeButton = makeBarButton(left, "minus", tr("Delete the selected profile"));
    m_importButton = makeBarButton(
        left, "import", tr("Import profiles from a .torvane, .sswan or .mobileconfig file"));
    bar->addWidget(m_addButton);
    bar->addWidget(m_removeButton);
    bar->addWidget(m_importButton);
    bar->addStretch(1);
    leftLayout->addLayout(bar);

    m_importFlow = new ImportFlow(m_store, this, this);

    connect(m_addButton, &QToolButton::clicked, this, &ConfigWindow::addProfile);
    connect(m_removeButton, &QToolButton::clicked, this, [this] {
        if (m_selection) {
            requestDelete(*m_selection);
        }
    });
    connect(m_importButton, &QToolButton::clicked, m_importFlow, &ImportFlow::beginImport);
    // The imported profile is in the list either way; it is shown only once
    // the edits of the current one are settled.
    connect(m_importFlow, &ImportFlow::imported, this,
            [this](const Uuid& profileID) { switchTo(profileID); });
    connect(m_profileList, &ProfileListView::deleteRequested, this, [this](int row) {
        if (const auto profileID = m_profileModel->profileID(row)) {
            requestDelete(*profileID);
        }
    });
    connect(m_profileList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ConfigWindow::listSelectionChanged);
    // A reset (any change of the store) forgets the view's selection; the
    // selection is kept by id and put back.
    connect(m_profileModel, &QAbstractItemModel::modelReset, this,
            &ConfigWindow::syncListSelection);
    connect(&m_connection, &ConnectionManager::managedProfilesChanged, this,
            &ConfigWindow::managedProfilesChanged);

    m_detail = buildEmptyState();
    m_splitter->addWidget(left);
    m_splitter->addWidget(m_detail);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({230, 590});
    m_splitter->setChildrenCollapsible(false);
    left->setMinimumWidth(180);

    // Across the whole width under both columns, so that the editor keeps its
    // height while no tunnel is up.
    auto* tab = new QWidget;
    auto* tabLayout = new QVBoxLayout(tab);
    tabLayout->setContentsMargins(0, 0, 0, 0);
    tabLayout->addWidget(m_splitter, 1);
    m_tunnelDetails = new TunnelDetailsView(tab);
    tabLayout->addWidget(m_tunnelDetails);
    return tab;
}

QWidget* ConfigWindow::buildFooter() {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);

    m_autostartBox = new QCheckBox(tr("Start Torvane at login"), row);
    m_autostartBox->setChecked(m_autostart.isEnabled());
    connect(m_autostartBox, &QCheckBox::toggled, this, &ConfigWindow::autostartToggled);
    layout->addWidget(m_autostartBox);
    m_notificationsBox = new QCheckBox(tr("Show notifications"), row);
    m_notificationsBox->setChecked(DesktopNotifier::isEnabled(m_store.settings()));
    connect(m_notificationsBox, &QCheckBox::toggled, this,
            [this](bool enabled) { DesktopNotifier::setEnabled(m_store.settings(), enabled); });
    layout->addWidget(m_notificationsBox);
    m_leakCheckButton = new QPushButton(tr("Check for Leaks…"), row);
    m_leakCheckButton->setToolTip(
        tr("Checks that routes, DNS, IPv6 and the kill switch keep traffic in the tunnels"));
    connect(m_leakCheckButton, &QPushButton::clicked, this, &ConfigWindow::checkForLeaks);
    layout->addWidget(m_leakCheckButton);
    m_autostartMessage = new QLabel(row);
    m_autostartMessage->setObjectName(QStringLiteral("autostartMessage"));
    m_autostartMessage->setWordWrap(true);
    m_autostartMessage->setTextFormat(Qt::PlainText);
    m_autostartMessage->hide();
    layout->addWidget(m_autostartMessage, 1);
    // Keeps the check boxes together while the message is hidden.
    layout->addStretch(1);

    const QString address = QString::fromLatin1(AboutPanel::kSourcePageURL);
    // A flat button rather than a rich-text link: a label's link takes two
    // Tab presses, the first of which shows no focus at all.
    auto* link = new QToolButton;
    m_footerLink = link;
    link->setText(QStringLiteral("Torvane — %1")
                      .arg(address.mid(address.indexOf(QStringLiteral("://")) + 3)));
    link->setAutoRaise(true);
    link->setCursor(Qt::PointingHandCursor);
    link->setToolTip(address);
    link->setAccessibleName(tr("Torvane documentation"));
    QFont font = link->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    link->setFont(font);
    link->setForegroundRole(QPalette::Link);
    QPalette palette = link->palette();
    palette.setColor(QPalette::ButtonText, palette.color(QPalette::Link));
    link->setPalette(palette);
    connect(link, &QToolButton::clicked, this,
            [address] { QDesktopServices::openUrl(QUrl(address)); });
    layout->addWidget(link);
    return row;
}

void ConfigWindow::autostartToggled(bool enabled) {
    const auto failure = m_autostart.setEnabled(enabled);
    m_autostartMessage->setVisible(failure.has_value());
    if (!failure) {
        m_autostartMessage->clear();
        return;
    }
    m_autostartMessage->setText(QString::fromStdString(*failure));
    // The box shows what the file says, not what was asked for.
    const QSignalBlocker quiet(m_autostartBox);
    m_autostartBox->setChecked(m_autostart.isEnabled());
}

void ConfigWindow::statusChanged() {
    bool connected = false;
    for (const auto& tunnel : m_connection.status().tunnels) {
        connected = connected || tunnel.state == VPNConnState::connected;
    }
    m_leakCheckButton->setEnabled(connected);
}

void ConfigWindow::showTunnelDetails() {
    const VPNTunnelStatus* tunnel =
        m_selection ? m_connection.status().tunnel(m_selection->upperText()) : nullptr;
    m_tunnelDetails->showTunnel(tunnel, tunnel != nullptr ? m_traffic.rates(tunnel->profileID)
                                                          : std::vector<TrafficHistory::Rate>{});
}

void ConfigWindow::checkForLeaks() {
    if (m_leakCheckDialog == nullptr) {
        m_leakCheckDialog = new LeakCheckDialog(m_connection, this);
    }
    m_leakCheckDialog->show();
    m_leakCheckDialog->raise();
    m_leakCheckDialog->activateWindow();
    m_leakCheckDialog->run();
}

QWidget* ConfigWindow::buildEmptyState() {
    auto* empty = new QWidget;
    empty->setObjectName(QStringLiteral("emptyState"));
    auto* layout = new QVBoxLayout(empty);
    layout->addStretch(1);
    auto* icon = new QLabel(empty);
    icon->setPixmap(StatusIcons::named("lock-shield").pixmap(48, 48));
    icon->setAlignment(Qt::AlignHCenter);
    layout->addWidget(icon);
    auto* title = new QLabel(tr("No Profile Selected"), empty);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignHCenter);
    layout->addWidget(title);
    auto* text = new QLabel(tr("Select a profile or add a new one."), empty);
    text->setAlignment(Qt::AlignHCenter);
    text->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(text);
    layout->addStretch(1);
    return empty;
}

void ConfigWindow::setConfirmDelete(std::function<bool(const VPNProfile&)> confirm) {
    m_confirmDelete = std::move(confirm);
}

void ConfigWindow::setAskUnsaved(std::function<UnsavedAnswer(const VPNProfile&)> ask) {
    m_askUnsaved = std::move(ask);
}

ProfileEditorView* ConfigWindow::editor() const {
    return qobject_cast<ProfileEditorView*>(m_detail);
}

bool ConfigWindow::settleUnsavedChanges() {
    ProfileEditorView* current = editor();
    if (current == nullptr || !current->hasUnsavedChanges()) {
        return true;
    }
    const UnsavedAnswer answer =
        m_askUnsaved ? m_askUnsaved(current->profile()) : askUnsaved(this, current->profile());
    switch (answer) {
    case UnsavedAnswer::save:
        // A failed save has shown its alert; the edits stay where they are so
        // that the user can try again.
        return current->save();
    case UnsavedAnswer::discard:
        return true;
    case UnsavedAnswer::cancel:
        break;
    }
    return false;
}

bool ConfigWindow::switchTo(const std::optional<Uuid>& profileID) {
    if (profileID == m_selection) {
        return true;
    }
    if (!settleUnsavedChanges()) {
        syncListSelection();
        return false;
    }
    select(profileID);
    return true;
}

void ConfigWindow::setAppMenu(QMenu* menu) {
    menu->setTitle(QStringLiteral("Torvane"));
    menuBar()->addMenu(menu);
}

void ConfigWindow::select(const std::optional<Uuid>& profileID) {
    const bool changed = profileID != m_selection;
    m_selection = profileID;
    syncListSelection();
    if (changed) {
        showDetail();
        showTunnelDetails();
    }
}

void ConfigWindow::syncListSelection() {
    const int row = m_selection ? m_profileModel->rowOf(*m_selection) : -1;
    m_syncingSelection = true;
    if (row < 0) {
        m_profileList->selectionModel()->clearSelection();
    } else {
        const QModelIndex index = m_profileModel->index(row);
        m_profileList->selectionModel()->setCurrentIndex(index,
                                                         QItemSelectionModel::ClearAndSelect);
        m_profileList->scrollTo(index);
    }
    m_syncingSelection = false;
    m_removeButton->setEnabled(canDeleteSelection());
}

void ConfigWindow::listSelectionChanged() {
    if (m_syncingSelection) {
        return;
    }
    const QModelIndexList rows = m_profileList->selectionModel()->selectedIndexes();
    std::optional<Uuid> chosen;
    if (!rows.isEmpty()) {
        chosen = m_profileModel->profileID(rows.first().row());
    }
    switchTo(chosen);
}

void ConfigWindow::showDetail() {
    const VPNProfile* profile = nullptr;
    if (m_selection) {
        for (const auto& candidate : m_store.profiles()) {
            if (candidate.id == *m_selection) {
                profile = &candidate;
                break;
            }
        }
    }
    // The editor works on private copies of one profile; a new selection
    // gets a new editor. Its unsaved changes were settled by whoever changed
    // the selection (the user's choices ask first, a deletion drops them).
    QWidget* next = nullptr;
    const ManagedProfile* managed =
        m_selection ? m_connection.managedProfile(*m_selection) : nullptr;
    if (managed != nullptr) {
        auto* editor = new ProfileEditorView(m_connection, m_store);
        editor->setManagedProfile(*managed);
        next = editor;
    } else if (profile != nullptr) {
        auto* editor = new ProfileEditorView(m_connection, m_store);
        editor->setProfile(*profile);
        next = editor;
    } else {
        next = buildEmptyState();
    }
    QWidget* previous = m_detail;
    m_splitter->replaceWidget(1, next);
    m_detail = next;
    // A new editor joins the end of the window's Tab chain, after the footer;
    // the footer's link goes back behind it so that Tab follows the layout.
    QWidget* last = nullptr;
    for (QWidget* each = next->nextInFocusChain(); next->isAncestorOf(each);
         each = each->nextInFocusChain()) {
        if (each->focusPolicy() != Qt::NoFocus) {
            last = each;
        }
    }
    if (last != nullptr) {
        QWidget::setTabOrder(last, m_footerLink);
    }
    if (previous != nullptr && previous != next) {
        // Deleted from the event loop, since this may run inside one of its
        // signals; kept as a hidden child until then so it never outlives us.
        previous->hide();
        previous->setParent(this);
        previous->deleteLater();
    }
    m_removeButton->setEnabled(canDeleteSelection());
}

bool ConfigWindow::canDeleteSelection() const {
    return m_selection && m_connection.managedProfile(*m_selection) == nullptr;
}

void ConfigWindow::managedProfilesChanged() {
    // The administrator's record of the shown profile may have changed, or
    // it may have become (or stopped being) managed; a managed editor holds
    // no edits to lose.
    const auto* current = qobject_cast<ProfileEditorView*>(m_detail);
    const bool managedNow = m_selection && m_connection.managedProfile(*m_selection) != nullptr;
    if (current != nullptr && (current->isReadOnly() || managedNow)) {
        showDetail();
    }
    syncListSelection();
}

void ConfigWindow::addProfile() {
    if (!settleUnsavedChanges()) {
        return;
    }
    const VPNProfile added = m_store.add(VPNProfile());
    select(added.id);
}

void ConfigWindow::requestDelete(const Uuid& profileID) {
    // Only the administrator removes a managed profile; a stored one hidden
    // behind it is not what the user sees selected.
    if (m_connection.managedProfile(profileID) != nullptr) {
        return;
    }
    const VPNProfile* profile = nullptr;
    for (const auto& candidate : m_store.profiles()) {
        if (candidate.id == profileID) {
            profile = &candidate;
            break;
        }
    }
    if (profile == nullptr) {
        return;
    }
    const VPNProfile pending = *profile;
    const bool confirmed = m_confirmDelete ? m_confirmDelete(pending) : askDelete(this, pending);
    if (confirmed) {
        deleteProfile(pending);
    }
}

void ConfigWindow::deleteProfile(const VPNProfile& profile) {
    const bool wasSelected = m_selection == profile.id;
    m_store.remove(profile);
    m_profileModel->pushPriorities();
    if (wasSelected) {
        const auto remaining = m_connection.shownProfiles();
        select(remaining.empty() ? std::nullopt : std::optional<Uuid>(remaining.front().id));
    } else {
        syncListSelection();
    }
}

void ConfigWindow::closeEvent(QCloseEvent* event) {
    if (!settleUnsavedChanges()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) {
        emit closed();
    }
}

} // namespace torvane

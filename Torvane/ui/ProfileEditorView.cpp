#include "Torvane/ui/ProfileEditorView.h"

#include "Torvane/core/ConnectionManager.h"
#include "Torvane/core/ExportFile.h"
#include "Torvane/core/ProfileRules.h"
#include "Torvane/core/ProfileStore.h"
#include "Torvane/ui/CertificateRow.h"
#include "Torvane/ui/EditorAlerts.h"
#include "Torvane/ui/ExportFlow.h"
#include "Torvane/ui/ExportSheet.h"
#include "Torvane/ui/ProposalPicker.h"
#include "shared/Expected.h"
#include "shared/VPNAuthMethod.h"
#include "shared/VPNRuntimeStatus.h"

#include <algorithm>

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QStringDecoder>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace torvane {
namespace {

// Where the helper writes the resolvers the system used before connecting.
constexpr const char* kUpstreamResolvFile = "/run/torvane/run/upstream.resolv.conf";

// Certificates and keys are a few kilobytes. The profile travels to the
// helper as one message of at most 1 MiB, so a file anywhere near that size
// can never be used; refusing it here keeps the stored profile sendable.
constexpr qint64 kMaxCertificateFileSize = 256 * 1024;

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

// The method names come from shared/, which has no Qt; their translations
// are marked here, under the context the combo box looks them up in.
[[maybe_unused]] constexpr const char* kMethodLabels[] = {
    QT_TRANSLATE_NOOP("VPNAuthMethod", "Certificate + XAuth"),
    QT_TRANSLATE_NOOP("VPNAuthMethod", "Certificate only"),
    QT_TRANSLATE_NOOP("VPNAuthMethod", "EAP-MSCHAPv2 (username/password)"),
    QT_TRANSLATE_NOOP("VPNAuthMethod", "EAP-TLS (certificate)"),
    QT_TRANSLATE_NOOP("VPNAuthMethod", "Pre-shared key + gateway certificate"),
    QT_TRANSLATE_NOOP("VPNAuthMethod", "Pre-shared key (mutual)"),
};

QString methodLabel(VPNAuthMethod method) {
    return QCoreApplication::translate("VPNAuthMethod", std::string(label(method)).c_str());
}

bool isBlank(const QString& text) {
    return text.trimmed().isEmpty();
}

QString joined(const std::vector<std::string>& items, const QString& separator) {
    QStringList list;
    for (const auto& item : items) {
        list << qt(item);
    }
    return list.join(separator);
}

QLineEdit* makeLineEdit(QWidget* parent, const char* objectName, const QString& accessibleName) {
    auto* lineEdit = new QLineEdit(parent);
    lineEdit->setObjectName(QString::fromLatin1(objectName));
    lineEdit->setAccessibleName(accessibleName);
    return lineEdit;
}

QCheckBox* makeCheckBox(QWidget* parent, const char* objectName, const QString& text) {
    auto* checkBox = new QCheckBox(text, parent);
    checkBox->setObjectName(QString::fromLatin1(objectName));
    checkBox->setAccessibleName(text);
    return checkBox;
}

// Lets a click on a label toggle the check box it describes.
class ToggleOnClick : public QObject {
public:
    ToggleOnClick(QCheckBox* checkBox, QObject* parent) : QObject(parent), m_checkBox(checkBox) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease && m_checkBox->isEnabled()) {
            m_checkBox->toggle();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QCheckBox* m_checkBox;
};

// A check box whose long text wraps with the form's width instead of
// widening it; `row` receives the box and its label.
QCheckBox* makeWrappingCheckBox(QWidget* parent, const char* objectName, const QString& text,
                                QBoxLayout* row) {
    auto* checkBox = new QCheckBox(parent);
    checkBox->setObjectName(QString::fromLatin1(objectName));
    checkBox->setAccessibleName(text);
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setBuddy(checkBox);
    label->installEventFilter(new ToggleOnClick(checkBox, label));
    row->addWidget(checkBox, 0, Qt::AlignTop);
    row->addWidget(label, 1);
    return checkBox;
}

QPlainTextEdit* makeTextEdit(QWidget* parent, const char* objectName,
                             const QString& accessibleName) {
    auto* textEdit = new QPlainTextEdit(parent);
    textEdit->setObjectName(QString::fromLatin1(objectName));
    textEdit->setAccessibleName(accessibleName);
    textEdit->setTabChangesFocus(true);
    textEdit->setFixedHeight(textEdit->fontMetrics().lineSpacing() * 4 + 12);
    return textEdit;
}

QLabel* makeCaption(QWidget* parent, const char* objectName, const QString& text = {}) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setForegroundRole(QPalette::PlaceholderText);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    label->setFont(font);
    return label;
}

QGroupBox* makeSection(QWidget* parent, const QString& title) {
    auto* box = new QGroupBox(title, parent);
    box->setAccessibleName(title);
    return box;
}

// Reads a whole file as UTF-8 text, byte for byte (a byte order mark
// included); the error's description otherwise.
Expected<QString, QString> readTextFile(const QString& path) {
    QFile file(path);
    const QString name = QFileInfo(path).fileName();
    if (!file.open(QIODevice::ReadOnly)) {
        return Unexpected{ProfileEditorView::tr("The file “%1” couldn’t be opened: %2")
                              .arg(name, file.errorString())};
    }
    if (file.size() > kMaxCertificateFileSize) {
        return Unexpected{
            ProfileEditorView::tr("The file “%1” is too large to be a certificate or key.")
                .arg(name)};
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return Unexpected{ProfileEditorView::tr("The file “%1” couldn’t be read: %2")
                              .arg(name, file.errorString())};
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return Unexpected{
            ProfileEditorView::tr("The file “%1” isn’t text in UTF-8, so it can’t be a PEM file.")
                .arg(name)};
    }
    return text;
}

} // namespace

ProfileEditorDialogs ProfileEditorDialogs::standard() {
    ProfileEditorDialogs dialogs;
    dialogs.chooseCertificateFile = [](QWidget* parent) {
        return QFileDialog::getOpenFileName(
            parent, ProfileEditorView::tr("Import Certificate or Key"), QString(),
            ProfileEditorView::tr(
                "Certificates and keys (*.pem *.crt *.key *.cer *.der);;All files (*)"));
    };
    dialogs.askExportPassphrase = [](QWidget* parent) {
        return ExportSheet::ask(parent);
    };
    dialogs.chooseExportPath = [](QWidget* parent, const QString& suggestedName) {
        return ExportFlow::chooseSavePath(parent, suggestedName);
    };
    dialogs.showAlert = [](QWidget* parent, const QString& title, const QString& message) {
        QMessageBox::warning(parent, title, message);
    };
    return dialogs;
}

ProfileEditorView::ProfileEditorView(ConnectionManager& connection, ProfileStore& store,
                                     QWidget* parent)
    : QWidget(parent), m_connection(connection), m_store(store),
      m_dialogs(ProfileEditorDialogs::standard()), m_profileID(Uuid::random()), m_secrets{"", ""} {
    m_profile.id = m_profileID;
    setAccessibleName(tr("Profile editor"));
    buildForm();
    showValues();

    connect(&m_connection, &ConnectionManager::statusChanged, this,
            &ProfileEditorView::updateConnectAction);
    connect(&m_connection, &ConnectionManager::busyChanged, this,
            &ProfileEditorView::updateConnectAction);
    updateConnectAction();
}

ProfileEditorView::~ProfileEditorView() = default;

void ProfileEditorView::setProfile(const VPNProfile& profile) {
    load(profile.id, profile);
}

void ProfileEditorView::setProfileID(const Uuid& profileID) {
    load(profileID, std::nullopt);
}

void ProfileEditorView::setManagedProfile(const ManagedProfile& managed) {
    if (m_loaded) {
        return;
    }
    load(managed.profile.id, managed.profile);
    // The store may hold a profile of the user's with this id; the
    // administrator's record is the one that counts.
    m_profile = managed.profile;
    showValues();
    m_savedProfile = formProfile();
    m_readOnly = true;
    m_fields->setEnabled(false);
    m_saveAction->setVisible(false);
    m_exportAction->setVisible(false);
    QString notice = tr("This profile is managed by your administrator (%1).")
                         .arg(QString::fromStdString(managed.sourceFile));
    if (managed.alwaysOn) {
        notice += QLatin1Char('\n') + tr("Always on: the connection stays up.");
    }
    m_managedNotice->setText(notice);
    m_managedNotice->setVisible(true);
}

void ProfileEditorView::setDialogs(ProfileEditorDialogs dialogs) {
    const ProfileEditorDialogs standard = ProfileEditorDialogs::standard();
    m_dialogs.chooseCertificateFile = dialogs.chooseCertificateFile
                                          ? std::move(dialogs.chooseCertificateFile)
                                          : standard.chooseCertificateFile;
    m_dialogs.askExportPassphrase = dialogs.askExportPassphrase
                                        ? std::move(dialogs.askExportPassphrase)
                                        : standard.askExportPassphrase;
    m_dialogs.chooseExportPath =
        dialogs.chooseExportPath ? std::move(dialogs.chooseExportPath) : standard.chooseExportPath;
    m_dialogs.showAlert = dialogs.showAlert ? std::move(dialogs.showAlert) : standard.showAlert;
}

void ProfileEditorView::load(const Uuid& profileID, const std::optional<VPNProfile>& fallback) {
    if (m_loaded) {
        return;
    }
    m_profileID = profileID;
    const auto& profiles = m_store.profiles();
    const auto stored = std::find_if(profiles.begin(), profiles.end(),
                                     [&](const VPNProfile& p) { return p.id == profileID; });
    if (stored != profiles.end()) {
        m_profile = *stored;
    } else if (fallback) {
        m_profile = *fallback;
    } else {
        m_profile = VPNProfile();
    }
    // Whatever was shown, Save writes the profile and its secrets under the
    // one id the editor was opened for.
    m_profile.id = profileID;
    m_secrets = m_store.secrets(profileID);
    m_loaded = true;
    showValues();
    updateConnectAction();
    m_savedProfile = formProfile();
    m_savedSecrets = m_secrets;
}

bool ProfileEditorView::isActive() const {
    const VPNTunnelStatus* tunnel = m_connection.status().tunnel(m_profileID.upperText());
    return tunnel != nullptr && tunnel->state != VPNConnState::disconnected;
}

VPNProfile ProfileEditorView::formProfile() const {
    VPNProfile profile = m_profile;
    profile.routes = splitProfileList(m_routesTextEdit->toPlainText().toStdString());
    profile.dnsServers = splitProfileList(m_dnsTextEdit->toPlainText().toStdString());
    profile.searchDomains = splitProfileList(m_searchLineEdit->text().toStdString());
    return profile;
}

bool ProfileEditorView::hasUnsavedChanges() const {
    return m_loaded && !m_readOnly &&
           (formProfile() != m_savedProfile || m_secrets != m_savedSecrets);
}

bool ProfileEditorView::save() {
    if (!m_loaded || m_readOnly) {
        return false;
    }
    m_profile = formProfile();
    m_store.update(m_profile);
    m_savedProfile = m_profile;
    const bool secretsSaved = m_store.saveSecrets(m_secrets, m_profileID);
    if (secretsSaved) {
        m_savedSecrets = m_secrets;
    }
    emit saved(m_profile);
    if (!secretsSaved) {
        showAlert(EditorAlerts::saveSecretsTitle(), EditorAlerts::saveSecretsMessage());
    }
    return secretsSaved;
}

void ProfileEditorView::importPEM(CertificateField field) {
    const QString path = m_dialogs.chooseCertificateFile(this);
    if (path.isEmpty()) {
        return;
    }
    const auto read = readTextFile(path);
    if (!read) {
        showAlert(EditorAlerts::certificateImportTitle(), read.error());
        return;
    }
    std::string text = read->toStdString();
    switch (field) {
    case CertificateField::caCertificate:
        m_profile.caCertPEM = std::move(text);
        break;
    case CertificateField::clientCertificate:
        m_profile.clientCertPEM = std::move(text);
        break;
    case CertificateField::clientPrivateKey:
        m_secrets.privateKeyPEM = std::move(text);
        break;
    }
    updateCertificateRows();
}

void ProfileEditorView::initiateConnect() {
    const std::optional<VPNSecrets> secrets = m_connection.resolveSecrets(m_profile);
    if (!secrets) {
        return;
    }
    m_connection.connect(m_profile, *secrets);
}

void ProfileEditorView::toggleConnection() {
    save();
    if (isActive()) {
        m_connection.disconnect(m_profileID);
    } else {
        initiateConnect();
    }
}

void ProfileEditorView::beginExport() {
    if (m_readOnly) {
        return;
    }
    save();
    const std::optional<QString> passphrase = m_dialogs.askExportPassphrase(this);
    if (passphrase) {
        exportProfile(*passphrase);
    }
}

void ProfileEditorView::exportProfile(const QString& passphrase) {
    if (m_readOnly) {
        return;
    }
    const QByteArray passphraseBytes = passphrase.toUtf8();
    // The key derivation takes a noticeable moment on this thread.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const auto fileData = ExportFile::makeExportData(
        m_profile, m_secrets,
        std::string_view(passphraseBytes.constData(), static_cast<size_t>(passphraseBytes.size())));
    QGuiApplication::restoreOverrideCursor();
    if (!fileData) {
        showAlert(EditorAlerts::exportTitle(), qt(fileData.error().message()));
        return;
    }
    const QString chosen =
        m_dialogs.chooseExportPath(this, ExportFlow::suggestedFileName(qt(m_profile.name)));
    if (chosen.isEmpty()) {
        return;
    }
    if (const auto error =
            ExportFlow::writeFile(ExportFlow::pathWithExtension(chosen), *fileData)) {
        showAlert(EditorAlerts::exportTitle(), *error);
    }
}

void ProfileEditorView::showAlert(const QString& title, const QString& message) {
    m_dialogs.showAlert(this, title, message);
}

// ---- form ----

void ProfileEditorView::buildForm() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    buildToolbar();
    layout->addWidget(m_toolBar);

    m_managedNotice = new QLabel(this);
    m_managedNotice->setObjectName(QStringLiteral("managedNotice"));
    m_managedNotice->setWordWrap(true);
    m_managedNotice->setContentsMargins(8, 6, 8, 6);
    m_managedNotice->setVisible(false);
    layout->addWidget(m_managedNotice);

    auto* scrollArea = new QScrollArea(this);
    scrollArea->setObjectName(QStringLiteral("editorScrollArea"));
    scrollArea->setWidgetResizable(true);
    scrollArea->setFrameShape(QFrame::NoFrame);
    // The area itself shows no focus; Tab goes straight to the fields, and the
    // area scrolls to whichever has it.
    scrollArea->setFocusPolicy(Qt::NoFocus);
    auto* content = new QWidget(scrollArea);
    m_fields = content;
    auto* sections = new QVBoxLayout(content);
    sections->addWidget(buildGeneralSection());
    sections->addWidget(buildAuthenticationSection());
    sections->addWidget(buildGatewaySection());
    sections->addWidget(buildProposalSection(tr("IKE Proposals"), false));
    sections->addWidget(buildProposalSection(tr("ESP Proposals"), true));
    sections->addWidget(buildRoutingSection());
    sections->addWidget(buildKeepaliveSection());
    sections->addStretch(1);
    scrollArea->setWidget(content);
    layout->addWidget(scrollArea, 1);
}

void ProfileEditorView::buildToolbar() {
    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("editorToolBar"));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);

    auto* spacer = new QWidget(m_toolBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_toolBar->addWidget(spacer);

    m_saveAction = m_toolBar->addAction(tr("Save"));
    m_saveAction->setObjectName(QStringLiteral("saveAction"));
    connect(m_saveAction, &QAction::triggered, this, &ProfileEditorView::save);

    m_exportAction = m_toolBar->addAction(tr("Export…"));
    m_exportAction->setObjectName(QStringLiteral("exportAction"));
    m_exportAction->setToolTip(tr("Export this profile to a passphrase-protected .torvane file"));
    connect(m_exportAction, &QAction::triggered, this, &ProfileEditorView::beginExport);

    m_connectAction = m_toolBar->addAction(tr("Connect"));
    m_connectAction->setObjectName(QStringLiteral("connectAction"));
    connect(m_connectAction, &QAction::triggered, this, &ProfileEditorView::toggleConnection);

    for (QAction* action : {m_saveAction, m_exportAction, m_connectAction}) {
        if (QWidget* button = m_toolBar->widgetForAction(action)) {
            button->setAccessibleName(action->text());
            // A tool bar keeps its buttons out of the Tab chain; these are the
            // editor's main commands and must be reachable from the keyboard.
            button->setFocusPolicy(Qt::TabFocus);
        }
    }
}

QWidget* ProfileEditorView::buildGeneralSection() {
    QGroupBox* box = makeSection(this, tr("General"));
    auto* form = new QFormLayout(box);

    m_nameLineEdit = makeLineEdit(box, "nameLineEdit", tr("Name"));
    form->addRow(tr("Name"), m_nameLineEdit);
    connect(m_nameLineEdit, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_profile.name = text.toStdString(); });

    m_connectOnLaunchCheckBox = makeCheckBox(box, "connectOnLaunchCheckBox",
                                             tr("Connect automatically when Torvane launches"));
    form->addRow(m_connectOnLaunchCheckBox);
    connect(m_connectOnLaunchCheckBox, &QCheckBox::toggled, this,
            [this](bool on) { m_profile.connectOnLaunch = on; });
    return box;
}

QWidget* ProfileEditorView::buildAuthenticationSection() {
    QGroupBox* box = makeSection(this, tr("Authentication"));
    m_authLayout = new QFormLayout(box);

    m_methodComboBox = new QComboBox(box);
    m_methodComboBox->setObjectName(QStringLiteral("methodComboBox"));
    m_methodComboBox->setAccessibleName(tr("Method"));
    for (const VPNAuthMethod method : kAllAuthMethods) {
        m_methodComboBox->addItem(methodLabel(method), qt(std::string(rawValue(method))));
    }
    m_authLayout->addRow(tr("Method"), m_methodComboBox);
    // `activated` comes only from the user, so showing a loaded profile
    // never counts as a method change.
    connect(m_methodComboBox, &QComboBox::activated, this, &ProfileEditorView::changeMethod);

    auto* versionRow = new QWidget(box);
    versionRow->setObjectName(QStringLiteral("ikeVersionPicker"));
    versionRow->setAccessibleName(tr("IKE version"));
    auto* versionLayout = new QHBoxLayout(versionRow);
    versionLayout->setContentsMargins(0, 0, 0, 0);
    versionLayout->setSpacing(0);
    m_ikeVersionGroup = new QButtonGroup(versionRow);
    m_ikeVersionGroup->setExclusive(true);
    for (const int version : {1, 2}) {
        auto* button = new QToolButton(versionRow);
        const QString text = QStringLiteral("IKEv%1").arg(version);
        button->setText(text);
        button->setObjectName(QStringLiteral("ikev%1Button").arg(version));
        button->setAccessibleName(text);
        button->setCheckable(true);
        m_ikeVersionGroup->addButton(button, version);
        versionLayout->addWidget(button);
    }
    versionLayout->addStretch(1);
    m_authLayout->addRow(tr("IKE version"), versionRow);
    connect(m_ikeVersionGroup, &QButtonGroup::idClicked, this,
            [this](int version) { m_profile.ikeVersion = version; });

    m_userLineEdit = makeLineEdit(box, "userLineEdit", tr("User"));
    m_authLayout->addRow(tr("User"), m_userLineEdit);
    connect(m_userLineEdit, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_profile.xauthID = text.toStdString(); });

    // The password and the pre-shared key are the same secret field; only
    // one of the two rows is ever shown.
    m_passwordLineEdit = makeLineEdit(box, "passwordLineEdit", tr("Password"));
    m_passwordLineEdit->setEchoMode(QLineEdit::Password);
    m_authLayout->addRow(tr("Password"), m_passwordLineEdit);
    m_pskLineEdit = makeLineEdit(box, "pskLineEdit", tr("Pre-shared key"));
    m_pskLineEdit->setEchoMode(QLineEdit::Password);
    m_authLayout->addRow(tr("Pre-shared key"), m_pskLineEdit);
    for (QLineEdit* lineEdit : {m_passwordLineEdit, m_pskLineEdit}) {
        connect(lineEdit, &QLineEdit::textEdited, this, [this, lineEdit](const QString& text) {
            m_secrets.xauthPassword = text.toStdString();
            QLineEdit* other = lineEdit == m_passwordLineEdit ? m_pskLineEdit : m_passwordLineEdit;
            other->setText(text);
        });
    }

    const QString pskLocalID = tr("Local ID (identifies you to the gateway)");
    m_pskLocalIDLineEdit = makeLineEdit(box, "pskLocalIDLineEdit", pskLocalID);
    m_authLayout->addRow(pskLocalID, m_pskLocalIDLineEdit);
    const QString certLocalID = tr("Local ID (blank = from certificate)");
    m_certLocalIDLineEdit = makeLineEdit(box, "certLocalIDLineEdit", certLocalID);
    m_authLayout->addRow(certLocalID, m_certLocalIDLineEdit);
    for (QLineEdit* lineEdit : {m_pskLocalIDLineEdit, m_certLocalIDLineEdit}) {
        connect(lineEdit, &QLineEdit::textEdited, this, [this, lineEdit](const QString& text) {
            m_profile.localID = text.toStdString();
            QLineEdit* other =
                lineEdit == m_pskLocalIDLineEdit ? m_certLocalIDLineEdit : m_pskLocalIDLineEdit;
            other->setText(text);
        });
    }

    const auto addCertificateRow = [&](const QString& title, const char* objectName,
                                       CertificateField field) {
        auto* row = new CertificateRow(title, box);
        row->setObjectName(QString::fromLatin1(objectName));
        m_authLayout->addRow(title, row);
        connect(row, &CertificateRow::importRequested, this, [this, field] { importPEM(field); });
        return row;
    };
    m_caCertificateRow = addCertificateRow(tr("CA certificate"), "caCertificateRow",
                                           CertificateField::caCertificate);
    m_clientCertificateRow = addCertificateRow(tr("Client certificate"), "clientCertificateRow",
                                               CertificateField::clientCertificate);
    m_clientKeyRow = addCertificateRow(tr("Client private key"), "clientKeyRow",
                                       CertificateField::clientPrivateKey);
    return box;
}

QWidget* ProfileEditorView::buildGatewaySection() {
    QGroupBox* box = makeSection(this, tr("Gateway"));
    auto* form = new QFormLayout(box);

    const auto addField = [&](const QString& title, const char* objectName,
                              std::string VPNProfile::*field) {
        QLineEdit* lineEdit = makeLineEdit(box, objectName, title);
        form->addRow(title, lineEdit);
        connect(lineEdit, &QLineEdit::textEdited, this,
                [this, field](const QString& text) { m_profile.*field = text.toStdString(); });
        return lineEdit;
    };
    m_remoteAddrLineEdit =
        addField(tr("Remote address"), "remoteAddrLineEdit", &VPNProfile::remoteAddr);
    m_remoteIDLineEdit =
        addField(tr("Remote ID (DN, blank = %any)"), "remoteIDLineEdit", &VPNProfile::remoteID);
    m_remoteTSLineEdit =
        addField(tr("Remote traffic selector"), "remoteTSLineEdit", &VPNProfile::remoteTS);

    m_requestVIPCheckBox = makeCheckBox(box, "requestVIPCheckBox", tr("Request virtual IP"));
    form->addRow(m_requestVIPCheckBox);
    connect(m_requestVIPCheckBox, &QCheckBox::toggled, this,
            [this](bool on) { m_profile.requestVIP = on; });
    return box;
}

QWidget* ProfileEditorView::buildProposalSection(const QString& title, bool showNoPFS) {
    QGroupBox* box = makeSection(this, title);
    auto* layout = new QVBoxLayout(box);
    auto* picker = new ProposalPicker(showNoPFS, box);
    picker->setAccessibleName(title);
    layout->addWidget(picker);
    if (showNoPFS) {
        picker->setObjectName(QStringLiteral("espProposalPicker"));
        m_espProposalPicker = picker;
        connect(picker, &ProposalPicker::proposalChanged, this,
                [this](const QString& text) { m_profile.espProposals = text.toStdString(); });
    } else {
        picker->setObjectName(QStringLiteral("ikeProposalPicker"));
        m_ikeProposalPicker = picker;
        connect(picker, &ProposalPicker::proposalChanged, this,
                [this](const QString& text) { m_profile.ikeProposals = text.toStdString(); });
    }
    return box;
}

QWidget* ProfileEditorView::buildRoutingSection() {
    QGroupBox* box = makeSection(this, tr("Routing & DNS"));
    // A lone "&" would mark a shortcut letter.
    box->setTitle(tr("Routing && DNS"));
    auto* layout = new QVBoxLayout(box);

    m_routesLabel = new QLabel(box);
    m_routesLabel->setObjectName(QStringLiteral("routesLabel"));
    m_routesLabel->setWordWrap(true);
    layout->addWidget(m_routesLabel);
    m_routesTextEdit = makeTextEdit(box, "routesTextEdit", tr("Routes"));
    m_routesLabel->setBuddy(m_routesTextEdit);
    layout->addWidget(m_routesTextEdit);
    connect(m_routesTextEdit, &QPlainTextEdit::textChanged, this,
            &ProfileEditorView::updateRoutesLabel);

    auto* dnsLabel = new QLabel(tr("DNS servers"), box);
    layout->addWidget(dnsLabel);
    m_dnsTextEdit = makeTextEdit(box, "dnsTextEdit", tr("DNS servers"));
    dnsLabel->setBuddy(m_dnsTextEdit);
    layout->addWidget(m_dnsTextEdit);
    connect(m_dnsTextEdit, &QPlainTextEdit::textChanged, this,
            &ProfileEditorView::updateDnsmasqBlock);

    auto* searchForm = new QFormLayout();
    m_searchLineEdit = makeLineEdit(box, "searchLineEdit", tr("Search domains"));
    searchForm->addRow(tr("Search domains"), m_searchLineEdit);
    layout->addLayout(searchForm);

    auto* ipv6Row = new QHBoxLayout();
    m_preventIPv6CheckBox = makeWrappingCheckBox(
        box, "preventIPv6CheckBox",
        tr("Disable IPv6 on all interfaces while connected (prevents IPv6 leaks when "
           "the VPN carries only IPv4)"),
        ipv6Row);
    layout->addLayout(ipv6Row);
    connect(m_preventIPv6CheckBox, &QCheckBox::toggled, this,
            [this](bool on) { m_profile.preventIPv6Leak = on; });

    m_killSwitchCheckBox = makeCheckBox(box, "killSwitchCheckBox", tr("Kill switch"));
    layout->addWidget(m_killSwitchCheckBox);
    connect(m_killSwitchCheckBox, &QCheckBox::toggled, this,
            [this](bool on) { m_profile.killSwitchEnabled = on; });
    layout->addWidget(
        makeCaption(box, "killSwitchCaptionLabel",
                    tr("If the VPN unexpectedly disconnects or stops working, all network traffic "
                       "is blocked to prevent any data from leaking outside the VPN connection. "
                       "Traffic is unblocked when you disconnect manually.")));

    m_dnsmasqCheckBox =
        makeCheckBox(box, "dnsmasqCheckBox", tr("Use dnsmasq (local DNS proxy on 127.0.0.1:53)"));
    layout->addWidget(m_dnsmasqCheckBox);
    connect(m_dnsmasqCheckBox, &QCheckBox::toggled, this, [this](bool on) {
        m_profile.dnsmasqEnabled = on;
        updateDnsmasqBlock();
    });

    m_dnsmasqBlock = new QWidget(box);
    m_dnsmasqBlock->setObjectName(QStringLiteral("dnsmasqBlock"));
    auto* blockLayout = new QVBoxLayout(m_dnsmasqBlock);
    blockLayout->setContentsMargins(0, 0, 0, 0);
    m_dnsmasqConfigLabel = new QLabel(m_dnsmasqBlock);
    m_dnsmasqConfigLabel->setObjectName(QStringLiteral("dnsmasqConfigLabel"));
    m_dnsmasqConfigLabel->setWordWrap(true);
    blockLayout->addWidget(m_dnsmasqConfigLabel);
    m_dnsmasqConfigTextEdit =
        makeTextEdit(m_dnsmasqBlock, "dnsmasqConfigTextEdit", tr("dnsmasq config"));
    m_dnsmasqConfigTextEdit->setFixedHeight(
        m_dnsmasqConfigTextEdit->fontMetrics().lineSpacing() * 8 + 12);
    m_dnsmasqConfigLabel->setBuddy(m_dnsmasqConfigTextEdit);
    blockLayout->addWidget(m_dnsmasqConfigTextEdit);
    connect(m_dnsmasqConfigTextEdit, &QPlainTextEdit::textChanged, this, [this] {
        m_profile.dnsmasqConfig = m_dnsmasqConfigTextEdit->toPlainText().toStdString();
        updateDnsmasqBlock();
    });
    m_dnsmasqCaptionLabel = makeCaption(m_dnsmasqBlock, "dnsmasqCaptionLabel");
    blockLayout->addWidget(m_dnsmasqCaptionLabel);
    layout->addWidget(m_dnsmasqBlock);
    return box;
}

QWidget* ProfileEditorView::buildKeepaliveSection() {
    QGroupBox* box = makeSection(this, tr("Keepalive"));
    auto* form = new QFormLayout(box);

    m_keepaliveIPLineEdit =
        makeLineEdit(box, "keepaliveIPLineEdit", tr("Ping IP (blank disables)"));
    form->addRow(tr("Ping IP (blank disables)"), m_keepaliveIPLineEdit);
    connect(m_keepaliveIPLineEdit, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_profile.keepaliveIP = text.toStdString(); });

    m_keepaliveIntervalLineEdit =
        makeLineEdit(box, "keepaliveIntervalLineEdit", tr("Interval (s)"));
    // Whole numbers only; the sign is allowed so that a stored negative value
    // shows as it is instead of being altered by the field.
    m_keepaliveIntervalLineEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("-?[0-9]{1,9}")), m_keepaliveIntervalLineEdit));
    form->addRow(tr("Interval (s)"), m_keepaliveIntervalLineEdit);
    connect(m_keepaliveIntervalLineEdit, &QLineEdit::textEdited, this, [this](const QString& text) {
        bool ok = false;
        const qlonglong value = text.toLongLong(&ok);
        if (ok) {
            m_profile.keepaliveInterval = value;
        }
    });
    // A field left empty or holding only "-" keeps the last whole number.
    connect(m_keepaliveIntervalLineEdit, &QLineEdit::editingFinished, this, [this] {
        m_keepaliveIntervalLineEdit->setText(QString::number(m_profile.keepaliveInterval));
    });
    return box;
}

// ---- showing values ----

void ProfileEditorView::showValues() {
    m_filling = true;
    m_nameLineEdit->setText(qt(m_profile.name));
    m_connectOnLaunchCheckBox->setChecked(m_profile.connectOnLaunch);

    const int methodIndex =
        m_methodComboBox->findData(qt(std::string(rawValue(m_profile.authMethod))));
    m_methodComboBox->setCurrentIndex(methodIndex);
    showIkeVersion();
    m_userLineEdit->setText(qt(m_profile.xauthID));
    m_passwordLineEdit->setText(qt(m_secrets.xauthPassword));
    m_pskLineEdit->setText(qt(m_secrets.xauthPassword));
    m_pskLocalIDLineEdit->setText(qt(m_profile.localID));
    m_certLocalIDLineEdit->setText(qt(m_profile.localID));

    m_remoteAddrLineEdit->setText(qt(m_profile.remoteAddr));
    m_remoteIDLineEdit->setText(qt(m_profile.remoteID));
    m_remoteTSLineEdit->setText(qt(m_profile.remoteTS));
    m_requestVIPCheckBox->setChecked(m_profile.requestVIP);

    m_ikeProposalPicker->setProposal(qt(m_profile.ikeProposals));
    m_espProposalPicker->setProposal(qt(m_profile.espProposals));

    m_routesTextEdit->setPlainText(joined(m_profile.routes, QStringLiteral("\n")));
    m_dnsTextEdit->setPlainText(joined(m_profile.dnsServers, QStringLiteral("\n")));
    m_searchLineEdit->setText(joined(m_profile.searchDomains, QStringLiteral(" ")));
    m_preventIPv6CheckBox->setChecked(m_profile.preventIPv6Leak);
    m_killSwitchCheckBox->setChecked(m_profile.killSwitchEnabled);
    m_dnsmasqConfigTextEdit->setPlainText(qt(m_profile.dnsmasqConfig));
    m_dnsmasqCheckBox->setChecked(m_profile.dnsmasqEnabled);

    m_keepaliveIPLineEdit->setText(qt(m_profile.keepaliveIP));
    m_keepaliveIntervalLineEdit->setText(QString::number(m_profile.keepaliveInterval));

    updateMethodRows();
    updateCertificateRows();
    updateRoutesLabel();
    updateDnsmasqBlock();
    m_filling = false;
}

void ProfileEditorView::changeMethod(int index) {
    if (m_filling || index < 0 || index >= static_cast<int>(kAllAuthMethods.size())) {
        return;
    }
    const VPNAuthMethod method = kAllAuthMethods[static_cast<std::size_t>(index)];
    m_profile.authMethod = method;
    // The methods tied to one IKE version pick it; the others keep the
    // user's choice.
    switch (method) {
    case VPNAuthMethod::xauth:
        m_profile.ikeVersion = 1;
        break;
    case VPNAuthMethod::eapMSCHAPv2:
    case VPNAuthMethod::eapTLS:
        m_profile.ikeVersion = 2;
        break;
    case VPNAuthMethod::certificate:
    case VPNAuthMethod::psk:
    case VPNAuthMethod::pskMutual:
        break;
    }
    showIkeVersion();
    updateMethodRows();
}

void ProfileEditorView::showIkeVersion() {
    QAbstractButton* button = m_ikeVersionGroup->button(static_cast<int>(m_profile.ikeVersion));
    if (button != nullptr) {
        button->setChecked(true);
        return;
    }
    // A stored version other than 1 or 2 selects neither segment.
    m_ikeVersionGroup->setExclusive(false);
    for (QAbstractButton* each : m_ikeVersionGroup->buttons()) {
        each->setChecked(false);
    }
    m_ikeVersionGroup->setExclusive(true);
}

void ProfileEditorView::updateMethodRows() {
    const VPNAuthMethod method = m_profile.authMethod;
    const bool pskLocalID = method == VPNAuthMethod::psk || method == VPNAuthMethod::pskMutual;
    const bool certLocalID =
        method == VPNAuthMethod::certificate || method == VPNAuthMethod::eapTLS;
    m_authLayout->setRowVisible(m_userLineEdit, usesPassword(method));
    m_authLayout->setRowVisible(m_passwordLineEdit, usesPassword(method));
    m_authLayout->setRowVisible(m_pskLineEdit, usesPSK(method));
    m_authLayout->setRowVisible(m_pskLocalIDLineEdit, pskLocalID);
    m_authLayout->setRowVisible(m_certLocalIDLineEdit, certLocalID);
    m_authLayout->setRowVisible(m_caCertificateRow, method != VPNAuthMethod::pskMutual);
    m_authLayout->setRowVisible(m_clientCertificateRow, usesClientCertificate(method));
    m_authLayout->setRowVisible(m_clientKeyRow, usesClientCertificate(method));
}

void ProfileEditorView::updateCertificateRows() {
    m_caCertificateRow->setLoaded(!m_profile.caCertPEM.empty());
    m_clientCertificateRow->setLoaded(!m_profile.clientCertPEM.empty());
    m_clientKeyRow->setLoaded(!m_secrets.privateKeyPEM.empty());
}

void ProfileEditorView::updateRoutesLabel() {
    const QString text = isBlank(m_routesTextEdit->toPlainText())
                             ? tr("Routes (one CIDR per line — leave empty to use the negotiated "
                                  "traffic selector)")
                             : tr("Routes (one CIDR per line)");
    m_routesLabel->setText(text);
    m_routesTextEdit->setAccessibleName(text);
}

void ProfileEditorView::updateDnsmasqBlock() {
    m_dnsmasqBlock->setVisible(m_dnsmasqCheckBox->isChecked());
    const bool configBlank = isBlank(m_dnsmasqConfigTextEdit->toPlainText());
    const QString label = configBlank ? tr("dnsmasq config (leave empty to auto-generate from DNS "
                                           "servers above)")
                                      : tr("dnsmasq config (used as complete config file — include "
                                           "listen-address, port, server= etc.)");
    m_dnsmasqConfigLabel->setText(label);
    m_dnsmasqConfigTextEdit->setAccessibleName(label);

    QString caption;
    if (!configBlank) {
        caption = tr("Tip: add resolv-file=%1 to forward queries not otherwise matched to the DNS "
                     "servers "
                     "this computer used just before connecting. The file is written "
                     "once the tunnel connects.")
                      .arg(QString::fromLatin1(kUpstreamResolvFile));
    } else if (isBlank(m_dnsTextEdit->toPlainText())) {
        caption = tr("No DNS servers configured above — dnsmasq will forward to the "
                     "DNS servers this computer used just before connecting.");
    }
    m_dnsmasqCaptionLabel->setText(caption);
    m_dnsmasqCaptionLabel->setVisible(!caption.isEmpty());
}

void ProfileEditorView::updateConnectAction() {
    const bool active = isActive();
    m_connectAction->setText(active ? tr("Disconnect") : tr("Connect"));
    m_connectAction->setEnabled(!m_connection.busy());
    if (QWidget* button = m_toolBar->widgetForAction(m_connectAction)) {
        button->setAccessibleName(m_connectAction->text());
    }
}

} // namespace torvane

#include "DialogUser.h"

#include "CertificateTrust.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QLineEdit* field(QWidget* parent, const char* name)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

} // namespace

DialogUser::DialogUser(QWidget* parent)
    : QDialog(parent)
    , m_host(field(this, "lineEditHost"))
    , m_port(field(this, "lineEditPort"))
    , m_user(field(this, "lineEditUser"))
    , m_password(field(this, "lineEditPassword"))
    , m_error(new QLabel(this))
{
    setWindowTitle(tr("Edit config"));
    resize(230, 180);
    setMaximumSize(280, 210);
    m_password->setEchoMode(QLineEdit::Password);
    m_error->setObjectName(QStringLiteral("labelError"));
    m_error->setStyleSheet(QStringLiteral("color: rgb(213, 0, 0);"));
    m_error->setWordWrap(true);
    m_error->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    buttons->setMinimumSize(212, 23);

    auto* layout = new QFormLayout(this);
    layout->addRow(tr("Host :"), m_host);
    layout->addRow(tr("Port :"), m_port);
    auto* userLabel = new QLabel(tr("User :"), this);
    userLabel->setObjectName(QStringLiteral("labelUser"));
    layout->addRow(userLabel, m_user);
    auto* passwordLabel = new QLabel(tr("Password :"), this);
    passwordLabel->setObjectName(QStringLiteral("labelPassword"));
    layout->addRow(passwordLabel, m_password);
    // The certificate trusted for this host and port is forgotten (with OK):
    // the next connection trusts the one it is shown (after a server's new pair).
    auto* forget = new QPushButton(tr("Forget the trusted certificate"), this);
    forget->setObjectName(QStringLiteral("pushButtonForgetCertificate"));
    forget->setAutoDefault(false);
    connect(forget, &QPushButton::clicked, this, [this, forget] {
        if (port() == 0)
            return;
        m_forgetHost = host();
        m_forgetPort = port();
        forget->setText(tr("Certificate forgotten"));
        forget->setEnabled(false);
    });
    layout->addRow(forget);
    layout->addRow(m_error);
    layout->addRow(buttons);

    // Tab in reading order: the button box was made before "Forget".
    setTabOrder(m_password, forget);
    setTabOrder(forget, buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &DialogUser::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_port, &QLineEdit::textEdited, m_error, &QWidget::hide);
}

DialogUser::~DialogUser() = default;

void DialogUser::setHost(const QString& host)
{
    m_host->setText(host);
}

void DialogUser::setPort(int port)
{
    m_port->setText(QString::number(port));
}

void DialogUser::setUsername(const QString& username)
{
    m_user->setText(username);
}

void DialogUser::setPassword(const QString& password)
{
    m_password->setText(password);
}

QString DialogUser::host() const
{
    return m_host->text().trimmed();
}

int DialogUser::port() const
{
    bool ok = false;
    const int value = m_port->text().trimmed().toInt(&ok, 10);
    return ok && value >= 1 && value <= 65535 ? value : 0;
}

QString DialogUser::username() const
{
    return m_user->text();
}

QString DialogUser::password() const
{
    return m_password->text();
}

void DialogUser::accept()
{
    // A port that is not a real one would be stored and then tried forever.
    if (port() == 0) {
        m_error->setText(tr("The port must be a whole number from 1 to 65535."));
        m_error->show();
        m_port->setFocus();
        return;
    }
    if (m_forgetPort != 0)
        CertificateTrust::forget(m_forgetHost, m_forgetPort);
    QDialog::accept();
}

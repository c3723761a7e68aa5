// V2_Server: the limits on connections that have not logged in, and on
// what a connection may ask of the server.
#include "V2_Server.h"

#include "LoginRefusals.h"

void V2_Server::setMaxNotLoggedPendingOutput(qint64 bytes)
{
    m_maxNotLoggedPendingOutput = bytes;
}

qint64 V2_Server::maxNotLoggedPendingOutput() const
{
    return m_maxNotLoggedPendingOutput;
}

void V2_Server::setLoginTimeout(int seconds)
{
    m_loginTimeout = seconds;
}

int V2_Server::loginTimeout() const
{
    return m_loginTimeout;
}

void V2_Server::setMaxRefusedLogins(int logins)
{
    m_maxRefusedLogins = logins;
}

int V2_Server::maxRefusedLogins() const
{
    return m_maxRefusedLogins;
}

void V2_Server::setLoginRetryDelay(int ms)
{
    m_loginRefusals->setFirstDelay(ms);
}

int V2_Server::loginRetryDelay() const
{
    return int(m_loginRefusals->firstDelay());
}

void V2_Server::setMaxJoinsPerMinute(int joins)
{
    m_maxJoinsPerMinute = joins;
}

int V2_Server::maxJoinsPerMinute() const
{
    return m_maxJoinsPerMinute;
}

LoginRefusals* V2_Server::loginRefusals() const
{
    return m_loginRefusals.get();
}

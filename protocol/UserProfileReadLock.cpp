#include "UserProfileReadLock.h"

#include "V2_Profile.h"
#include "V2_User.h"

UserProfileReadLock::UserProfileReadLock(V2_User* user)
    : m_user(user)
    , m_profile(nullptr)
{
    if (!m_user)
        return;
    m_user->readLock();
    m_profile = m_user->profile();
    if (m_profile)
        m_profile->readLock();
}

UserProfileReadLock::~UserProfileReadLock()
{
    if (m_profile)
        m_profile->readUnlock();
    if (m_user)
        m_user->readUnlock();
}

V2_Profile* UserProfileReadLock::profile() const
{
    return m_profile;
}

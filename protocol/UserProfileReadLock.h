#pragma once

class V2_Profile;
class V2_User;

// Holds the read locks of a user and of the profile it is bound to, in
// that order, for the length of a scope. Either may be missing.
class UserProfileReadLock final
{
public:
    explicit UserProfileReadLock(V2_User* user);
    ~UserProfileReadLock();
    UserProfileReadLock(const UserProfileReadLock&) = delete;
    UserProfileReadLock& operator=(const UserProfileReadLock&) = delete;

    V2_Profile* profile() const;

private:
    V2_User* m_user;
    V2_Profile* m_profile;
};

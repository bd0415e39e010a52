#pragma once

#include "link/Bytes.h"

#include <QString>

// The client's side of the login exchange without the socket: the lines it sends and how it
// reads the server's two replies. Every cut of the server's bytes is checked; a reply that is
// not what an honest server sends makes the step fail.
class TLoginExchange {
public:
    TLoginExchange(const QString &login, const QString &password, const TBytes &challenge);

    // "CE|" login "|" the challenge, every "|" in it written as the line marker.
    TBytes hello() const;
    // The first reply, "auth|grb|" proof "|" the server's challenge: false when it is not one or
    // the proof shows that the server does not know the password; otherwise the answer to send.
    bool answer(const TBytes &reply, TBytes &line) const;
    // The second reply, "auth|yes|" padding digit and the encrypted key: false when it is not
    // one; otherwise the session key (empty: lines travel unencrypted).
    bool sessionKey(const TBytes &reply, TBytes &key) const;
    // The last line of the exchange.
    TBytes keyOk() const;

private:
    QString m_login;
    TBytes m_K; // MD5 of the password
    TBytes m_challenge;
};

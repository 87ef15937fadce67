// The login exchange, free of any window so that it runs natively exactly as the login dialog
// runs it. Runs on the UI thread, before any transaction.
#pragma once

enum class LoginResult {
    Accepted,       // the login fields are stored; this client is the current version
    UpgradeOffered, // accepted and stored, but the server announces another client version
    Rejected,       // refused, no reply, or a reply that names no usable host: nothing stored
    TooLong,        // the id and password do not fit the login URL; nothing was sent
};

// Sends the login with `id` and `password` to the default site URL. Its acceptance, the stored
// fields and the version come from this reply alone.
LoginResult SendLogin(const char16_t* id, const char16_t* password);

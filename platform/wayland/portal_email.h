#pragma once
// The desktop portal's Email interface (org.freedesktop.portal.Email on the session bus): opens
// the compose window of the user's mail program with the attachments handed over as open files,
// and answers whether it could.

#include "platform/sharing.h"

#include <optional>

class QWidget;

// Whether a desktop portal with the Email interface runs on the session bus.
bool email_portal_available();

// How the portal answered a compose request.
enum class PortalAnswer {
    Opened,      // the compose window was asked for
    Cancelled,   // the user cancelled
    Failed,      // the portal reports it could not reach a mail program
    Unavailable, // the request itself failed (no portal, an attachment could not be opened)
};

PortalAnswer compose_with_portal(QWidget* owner, const MailMessage& message);

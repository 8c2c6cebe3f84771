#pragma once
// The desktop portal's Screenshot interface (org.freedesktop.portal.Screenshot on the session
// bus), the only way an application reads the screen in a Wayland session. A request is
// answered by the Response signal of a request object, with the URI of a picture file the
// portal wrote; the program reads that file and removes it.

#include <QImage>
#include <QString>
#include <QVariantMap>

// How long the program waits for the portal's answer before it gives up with an error: a plain
// screenshot is quick (the portal may still ask the user's permission the first time); an
// interactive one waits for the user to pick.
inline constexpr int kPortalShotWaitMs = 30000;
inline constexpr int kPortalPickWaitMs = 120000;

// The French messages of the failures.
inline const QString kNoScreenshotPortalText = QStringLiteral(
    "Aucun portail de bureau ne répond : la capture d'écran est impossible dans cette session");
inline const QString kScreenshotCancelledText = QStringLiteral("Capture d'écran annulée");
inline const QString kScreenshotRefusedText =
    QStringLiteral("Le portail du bureau a refusé la capture d'écran");
inline const QString kScreenshotNoAnswerText =
    QStringLiteral("Le portail du bureau n'a pas répondu à la demande de capture d'écran");
inline const QString kScreenshotUnreadableText =
    QStringLiteral("Impossible de lire la capture d'écran rendue par le portail du bureau");

// The portal's answer to one request.
struct ScreenshotAnswer {
    enum class Kind {
        Picture,   // `file` holds the picture
        Cancelled, // the user cancelled
        Failed,    // refused, or the portal could not take it
    };
    Kind kind = Kind::Failed;
    QString file; // a local file path, for Picture
};

// The answer carried by a Response signal: its response code (0 success, 1 cancelled by the
// user, anything else a failure) and its results, whose "uri" names the picture. A success
// without a local file (no "uri", or one that is not file://) is a failure.
ScreenshotAnswer screenshot_answer_of(uint response, const QVariantMap& results);

// The object path of the request a call with `token` as its handle_token creates, for the
// connection whose unique bus name is `unique_name` (":1.42" gives "1_42").
QString portal_request_path(const QString& unique_name, const QString& token);

// Whether a desktop portal with the Screenshot interface answers on the session bus within
// `wait_ms`.
bool screenshot_portal_answers(int wait_ms = 2000);

// Asks the portal for a screenshot of the whole desktop or, when `interactive`, for one the user
// picks with the desktop's own tool. Waits at most `wait_ms` for the answer, handling no user
// input meanwhile. Throws KapError when there is no portal, the request fails or no answer
// comes in time.
ScreenshotAnswer request_portal_screenshot(bool interactive, int wait_ms);

// Reads the picture the portal wrote and removes the file (some back ends write every
// screenshot to one fixed, world-readable path). Throws KapError when the file cannot be read
// as a picture; the file is removed then too.
QImage take_screenshot_file(const QString& path);

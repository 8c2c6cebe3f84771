#include "edit/main_window.h"

void fit_window_to_picture(PictureHost& view, WindowShell& window, QSize picture,
                           const WindowFit& fit) {
    if (picture.width() < 418) {
        if (fit.narrow_view_418x252)
            view.set_view_size(QSize(418, 252));
        window.set_client_size(fit.narrow_client);
        return;
    }
    if (fit.wide_view_to_picture)
        view.set_view_size(picture);
    window.set_client_size(picture + fit.margin);
    if (fit.centre)
        window.centre_on_display();
}

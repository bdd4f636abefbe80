#!/usr/bin/python3
"""A bare WebKitGTK window for WebKitWebDriver, in place of MiniBrowser.

WebKitWebDriver starts it as "webkit-shell.py --automation --data=FOLDER".
MiniBrowser browses an ephemeral session under automation, and WebKit prints
no console message of an ephemeral page; this shell keeps its data in the
folder it is given (the caller removes it: the driver kills the browser on
quitting), so every console message of the page, the engine's own included,
comes out on stderr as "... CONSOLE JS ERROR ..." lines, which the tests'
WebKit adapter reads. A plain window with only the web view in it can also
be as narrow as a phone, which MiniBrowser's toolbar forbids.
"""
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("WebKit2", "4.1")
from gi.repository import Gtk, WebKit2  # noqa: E402

NAME = "ZorvWebKit"


def main():
    args = sys.argv[1:]
    folders = [a.split("=", 1)[1] for a in args if a.startswith("--data=")]
    if "--automation" not in args or len(folders) != 1:
        print(f"usage: {sys.argv[0]} --automation --data=FOLDER (for WebKitWebDriver)",
              file=sys.stderr)
        return 2
    folder = folders[0]
    manager = WebKit2.WebsiteDataManager(base_data_directory=folder, base_cache_directory=folder)
    context = WebKit2.WebContext(website_data_manager=manager)
    context.set_automation_allowed(True)
    settings = WebKit2.Settings(enable_write_console_messages_to_stdout=True,
                                enable_developer_extras=False,
                                media_playback_requires_user_gesture=False)

    def new_view(_session):
        view = WebKit2.WebView(web_context=context, settings=settings,
                               is_controlled_by_automation=True)
        window = Gtk.Window()
        window.set_default_size(1200, 1600)
        window.add(view)
        view.connect("close", lambda v: window.destroy())
        window.show_all()
        return view

    def automation_started(_context, session):
        info = WebKit2.ApplicationInfo()
        info.set_name(NAME)
        major, minor, micro = (WebKit2.get_major_version(), WebKit2.get_minor_version(),
                               WebKit2.get_micro_version())
        info.set_version(major, minor, micro)
        session.set_application_info(info)
        session.connect("create-web-view", new_view)

    context.connect("automation-started", automation_started)
    Gtk.main()
    return 0


if __name__ == "__main__":
    sys.exit(main())

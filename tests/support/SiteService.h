// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The built veldra-service on a test's folder as a site: the site's name in
// turbine.cfg and the web server on `port` with a password (for /metrics
// and the settings pages), without a display. Header-only.

#include "Processes.h"
#include "TestSupport.h"
#include "core/Turbine.h"
#include "core/Web.h"
#include "web/WebPassword.h"
#include "web/WebSettingsFile.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <string>

namespace testsupport {

// `retryVariable` set to `retryMs` shortens the back-off the suite waits on.
inline bool startSiteService(QProcess &process, const ProgramFolder &folder, const std::string &site, int port,
                             const std::string &password, const QString &retryVariable, const QString &retryMs)
{
    core::TurbineSettings t;
    t.site = site;
    folder.write("turbine.cfg", QByteArray::fromStdString(core::turbineSettingsText(t)));
    core::WebSettings w;
    w.on = true;
    w.port = std::to_string(port);
    w.askPassword = true;
    w.passwordHash = web::hashPassword(password);
    if (!web::writeWebSettingsFile(folder.file("web.cfg"), w))
        return false;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.insert(retryVariable, retryMs);
    process.setProcessEnvironment(env);
    return startServing(process, folder.path(), "veldra-service", progCfg("1"), port);
}

} // namespace testsupport

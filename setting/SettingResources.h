// The pictures compiled into the maintenance tool.
#pragma once

#include <QString>

namespace SettingResources {

inline const QString c_strWindowIcon = QStringLiteral("://Resource/logo.png");
inline const QString c_strHomeLogo = QStringLiteral("://Resource/vorn.png");
inline const QString c_strNetButton = QStringLiteral("://Resource/button_net.png");

} // namespace SettingResources

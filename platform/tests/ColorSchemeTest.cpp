// Reading the desktop's light or dark preference from the portal's answer
// and from GTK_THEME.
#include "ColorScheme.h"

#include <QDBusVariant>

#include <gtest/gtest.h>

namespace tovan {
namespace {

using S = ColorScheme::Scheme;

TEST(ColorScheme, PortalAnswersAtAnyDepthOfVariants) {
    struct Case {
        const char* name;
        QVariant reply;
        S expected;
    };
    const Case cases[] = {
        {"dark", QVariant::fromValue(1u), S::dark},
        {"light", QVariant::fromValue(2u), S::light},
        {"no preference", QVariant::fromValue(0u), S::noPreference},
        {"an unknown number", QVariant::fromValue(7u), S::noPreference},
        {"wrapped once", QVariant::fromValue(QDBusVariant(QVariant::fromValue(1u))), S::dark},
        {"wrapped twice", QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(QVariant::fromValue(2u))))),
         S::light},
        {"not a number", QVariant::fromValue(QStringLiteral("dark")), S::noPreference},
        {"nothing", QVariant(), S::noPreference},
    };
    for (const Case& c : cases) EXPECT_EQ(ColorScheme::fromPortal(c.reply), c.expected) << c.name;
}

TEST(ColorScheme, GtkThemeNamesItsVariant) {
    struct Case {
        const char* theme;
        S expected;
    };
    const Case cases[] = {{"Adwaita:dark", S::dark}, {"Adwaita-dark", S::dark},     {"Arc-Dark", S::dark},
                          {"Adwaita", S::light},     {"  ", S::noPreference},      {"", S::noPreference},
                          {"HighContrast", S::light}};
    for (const Case& c : cases) EXPECT_EQ(ColorScheme::fromGtkTheme(QString::fromLatin1(c.theme)), c.expected) << c.theme;
}

}  // namespace
}  // namespace tovan

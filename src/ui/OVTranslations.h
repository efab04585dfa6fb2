#pragma once

class QLocale;

/**
 * The application's string tables (compiled from resources/translations into the resources): installs
 * the one of a locale's language into the application, replacing the one installed before. GUI thread.
 */
class OVTranslations {
public:
    /** False when there is no table for the locale's language (the texts stay as written). */
    static bool install(const QLocale& locale);
    /** Installs the pseudo table (accented, bracketed, longer texts); false when it is missing. */
    static bool installPseudo();
    /** The pseudo table when OV_PSEUDO_LOCALE is 1, else the one of the system locale. */
    static bool installForEnvironment();
};

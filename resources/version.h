/*
 * The module's version numbers: the one place they are written down.
 * vantor.rc builds the version record from them and CMake reads the file
 * version from here for the project's own version.
 */
#ifndef VANTOR_RESOURCES_VERSION_H
#define VANTOR_RESOURCES_VERSION_H

#define VANTOR_FILE_VERSION 1, 0, 0, 3
#define VANTOR_PRODUCT_VERSION 1, 0, 0, 1

/* "1, 0, 0, 3": the text form of a version, as the version record shows it. */
#define VANTOR_VERSION_TEXT_(...) #__VA_ARGS__
#define VANTOR_VERSION_TEXT(version) VANTOR_VERSION_TEXT_(version)

#endif /* VANTOR_RESOURCES_VERSION_H */

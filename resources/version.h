/*
 * The module's version record: the one place its numbers and texts are
 * written down. vantor.rc builds the record from them, CMake reads the file
 * version from here for the project's own version, and the module test
 * checks the built DLL against them.
 */
#ifndef VANTOR_RESOURCES_VERSION_H
#define VANTOR_RESOURCES_VERSION_H

#define VANTOR_FILE_VERSION 1, 0, 0, 3
#define VANTOR_PRODUCT_VERSION 1, 0, 0, 1

/* The record's texts (block 040904B0: United States English, Unicode). */
#define VANTOR_VERSION_COMMENTS "Registry functions for QUORIX"
#define VANTOR_VERSION_COMPANY "Unknown"
#define VANTOR_VERSION_DESCRIPTION "Vantor.DLL"
#define VANTOR_VERSION_INTERNAL_NAME "Vantor"
#define VANTOR_VERSION_ORIGINAL_FILENAME "Vantor.dll"
#define VANTOR_VERSION_PRODUCT_NAME "QUORIX"

/* "1, 0, 0, 3": the text form of a version, as the version record shows it. */
#define VANTOR_VERSION_TEXT_(...) #__VA_ARGS__
#define VANTOR_VERSION_TEXT(version) VANTOR_VERSION_TEXT_(version)

#endif /* VANTOR_RESOURCES_VERSION_H */

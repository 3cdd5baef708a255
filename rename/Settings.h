#pragma once

#include "files/DateTime.h"

#include <QString>

// The settings pages as plain values, read from the window's controls when an operation
// runs. Check boxes hold 0, 1 or 2 and count as on only at 1; drop-down lists hold an
// index, -1 when nothing is chosen. Every member has a default, so that a test can name
// only the ones it sets.
inline bool IsOn(int checkBoxValue) {
    return checkBoxValue == 1;
}

struct RenameSettings {
    bool optFilenameModifications = true;
    int chkPrefix = 0;
    QString txtPrefix{};
    int chkSuffix = 0;
    QString txtSuffix{};
    int chkChangeCase = 0;
    int cboChangeCase = -1; // 0 lower, 1 proper, 2 upper
    int chkReplaceString = 0;
    QString txtReplaceString{};
    QString txtWith{};

    bool optSequencing = false;
    int chkSeqPrefix = 0;
    QString txtSeqPrefix{};
    int chkSeqSuffix = 0;
    QString txtSeqSuffix{};
    bool optNumeric = false;
    int chkKeepName = 1; // unchecked: the sequence takes the old name's place
    QString txtDigitStartWith{};
    QString txtDigits{};
    bool optPrefixSequence = true;
    bool optSuffixSequence = false;

    int chkChangeExtension = 0;
    QString txtChangeExtension{};
    int chkAppendExtension = 0;
    QString txtAppendExtension{};
};

struct TimeFilterSettings {
    int check = 0;
    int choice = -1;                // 0 before, 1 on, 2 after
    basTavlo::DateTime reference{}; // the date picker's date with the time picker's time
};

struct FilterSettings {
    int chkFilterOnAttributes = 0;
    int cboIncludeExclude = -1; // 0 include, anything else exclude
    int chkFilterReadOnly = 0;
    int chkFilterArchive = 0;
    int chkFilterSystem = 0;
    int chkFilterHidden = 0;

    int chkFilterOnTimes = 0;
    TimeFilterSettings creation{};
    TimeFilterSettings modified{};
    TimeFilterSettings lastAccessed{};

    int chkFilterOnExtension = 0;
    int chkInclude = 0;
    int chkExclude = 0;
};

struct AdvancedSettings {
    int chkModifyAttributes = 0;
    int chkReadOnly = 0;
    int chkHidden = 0;
    int chkArchive = 0;
    int chkSystem = 0;

    int chkModifyDateTime = 0;
    int chkFileCreation = 0;
    int chkFileModified = 0;
    int chkFileLastAccessed = 0;
    basTavlo::DateTime creation{}; // each: the date picker's date with the time picker's time
    basTavlo::DateTime modified{};
    basTavlo::DateTime lastAccessed{};
};

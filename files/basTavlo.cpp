#include "basTavlo.h"

namespace basTavlo {

QString WithTrailingSeparator(const QString& folder) {
    if (folder.isEmpty())
        return folder;
    const QChar sep = PathSeparator();
    if (folder.endsWith(sep) || folder.endsWith(QLatin1Char('/')))
        return folder;
    return folder + sep;
}

FindData NotFound() {
    FindData d;
    d.fileName = QStringLiteral("Error").leftJustified(260, QLatin1Char(' '));
    return d;
}

namespace {

DateTime localFromFileTime(qint64 ticks) {
    if (ticks == 0)
        return DateTime{}; // the zero point of the scale, as a failed look-up gives
    // Floor division, so that times before 1601 drop their fraction the same way.
    qint64 secs = ticks / 10000000;
    if (ticks % 10000000 < 0)
        --secs;
    return UtcToLocal(secs - kFileTimeEpochOffsetSecs);
}

} // namespace

FileDetails DetailsFromFindData(const FindData& data) {
    FileDetails d;
    if (!data.found)
        return d;
    d.ReadOnly = data.attributes & AttrReadOnly;
    d.Hidden = data.attributes & AttrHidden;
    d.System = data.attributes & AttrSystem;
    d.Archive = data.attributes & AttrArchive;
    d.Created = localFromFileTime(data.creationTime);
    d.Modified = localFromFileTime(data.lastWriteTime);
    d.LastAccessed = localFromFileTime(data.lastAccessTime);
    return d;
}

FileDetails GetFileTimes(const QString& path) {
    return DetailsFromFindData(GetFileInfo(path));
}

} // namespace basTavlo

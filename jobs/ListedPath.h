#pragma once

#include <string>
#include <vector>

namespace packsmith {

// Where a path that a log or a project list names leads. Logs and lists are edited by hand
// and moved about, so a path is taken as the user would mean it:
// - a relative path is relative to the folder of the file that lists it;
// - an absolute path that names nothing, in a file moved together with what it lists (an
//   output folder moved as a whole), is looked for at the same place below the listing
//   file's folder: its last two parts there ("BMP/TITLE.BMP.tga"), then its file name;
// - so is an absolute path of the other system (a drive or a share of Windows read on
//   Linux, where "\" then separates its folders too; on Windows a path from "/" is
//   absolute already);
// - where the line as written names nothing and the line without the blanks around it (an
//   editor's) does, that file.
// The first of these that exists is the answer; when none does, the path as first read
// (a relative one below the listing file's folder), for messages. A line that is empty or
// blank names nothing and is "". On Windows "\" separates folders as "/" does.
std::string ResolveListedPath(const std::string& listed, const std::string& listDirectory);

// A listed line as the path whose folders and file name it gives: without the blanks
// around it, with "/" between folders (also where a path of the other system has "\").
std::string ListedPathForm(const std::string& listed);

// The jobs of a project list: its lines that are not blank, each resolved as above.
std::vector<std::string> ReadJobList(const std::string& listPath);

} // namespace packsmith

#pragma once
// The texts the DVD steps hand to the outside tools: the encoder's command line, dvdauthor's
// control file and the script that prepares the DVD folder and runs the authoring tool.
#include <string>
#include <string_view>
#include <vector>

// Fixed names joined to the work folder (the output folder) without a separator.
constexpr const char* kControlFileName = "qvrtmpf001.xml";
constexpr const char* kDvdFolderName = "qvrtmpd001";
constexpr const char* kBatchFileName = "qvrtmpfb001.sh";

// The encoder's arguments: fg -i <input> -y -target pal-dvd|ntsc-dvd -vf setdar=<4:3 or 16:9,
// whichever is nearer the recording's shape> [-force_key_frames <KeyFrameTimes>] <base>.mpg, fg
// from the program folder. Both paths go as "file:" URLs, so no name can pass for another protocol.
std::vector<std::string> EncoderCommand(const std::string& strProgramFolder, const std::string& strInput,
                                        const std::string& strBase, int nTvFormat,
                                        const std::vector<long long>& chapterMs = {});

// Where the encoder starts a group of pictures so that every chapter (ms) can begin on it:
// dvdauthor starts a chapter at a group of its own only when the group before it lasts 0.4 s or
// more, so up to each chapter the groups are equal and as long as a DVD allows (0.56 s asked).
std::vector<long long> KeyFrameTimes(const std::vector<long long>& chapterMs);

// dvdauthor's control file: an empty video manager and one title whose program chain plays the
// MPEG files in list order. Paths are XML-escaped. With chapter times (milliseconds into each
// file, parallel to the list), a file's `vob` line carries its chapters; a file without times,
// and every file when none are given, gets the line as it always was.
std::string ControlFileText(const std::vector<std::string>& mpegList,
                            const std::vector<std::vector<long long>>& chapterMs = {});

// dvdauthor's chapter list: "h:mm:ss.mmm" times, comma-separated, in the order given.
std::string ChapterList(const std::vector<long long>& chapterMs);

// The /bin/sh script: export VIDEO_FORMAT, create the DVD folder, delete every file below it,
// run ar from the program folder on the control file. Every path is shell-quoted.
std::string AuthoringScriptText(const std::string& strProgramFolder, const std::string& strDvdPath,
                                const std::string& strControlPath, int nTvFormat);

// How the script runs: /bin/sh with the script's path (which may hold any character).
std::vector<std::string> AuthoringScriptCommand(const std::string& strBatchPath);

// 'text' with each embedded ' written as '\'': one word that the shell takes literally.
std::string ShellQuote(std::string_view text);
// Text for an XML attribute value in double quotes: & < > " ' and the blanks an attribute would
// turn into spaces (tab, line feed, carriage return) as references.
std::string XmlEscape(std::string_view text);

// When the tool at strPath cannot be run (a missing link, or a link to a program that is not
// installed): a line for the log that names the Debian package; otherwise empty.
std::string MissingToolText(const std::string& strPath, const char* szPackage);

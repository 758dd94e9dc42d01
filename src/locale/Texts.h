#pragma once

#include <span>
#include <string_view>

namespace ambrel {

// A user-visible text: its key in the string tables and its English original, which is shown
// when the interface language's table lacks the key.
struct Text {
    std::string_view key;
    std::string_view english;
};

// Every text of the interface. Each comment says where the text appears, for translators.
namespace Texts {

// credits line of the About box
inline constexpr Text aboutCredits{"about.credits", "Transcribe everything."};
// button of a confirmation dialog or sheet
inline constexpr Text alertCancel{"alert.cancel", "Cancel"};
// error message when a transcript file cannot be opened
inline constexpr Text alertCouldNotOpenFile{"alert.couldNotOpenFile", "Couldn’t open the file"};
// title of an error alert
inline constexpr Text alertErrorTitle{"alert.errorTitle", "The operation couldn’t be completed"};
// error message; %@ is a file name
inline constexpr Text alertFileNotWrittenYet{
    "alert.fileNotWrittenYet", "“%@” hasn’t been written to disk yet. Try again in a moment."};
// alert title
inline constexpr Text alertFolderNotWritable{"alert.folderNotWritable",
                                             "This folder isn’t writable"};
// alert message; %@ is the folder path on its own line
inline constexpr Text alertFolderNotWritableDetail{"alert.folderNotWritableDetail",
                                                   "Choose another folder.\n%@"};
// alert button: do not restart now
inline constexpr Text alertLater{"alert.later", "Later"};
// alert title
inline constexpr Text alertLaunchAtLoginFailed{"alert.launchAtLoginFailed",
                                               "Couldn’t change Launch at Login"};
// alert button
inline constexpr Text alertOk{"alert.ok", "OK"};
// alert button
inline constexpr Text alertRestartNow{"alert.restartNow", "Restart Now"};
// alert message after the interface language was changed
inline constexpr Text alertRestartTitle{"alert.restartTitle",
                                        "Restart to finish changing the language?"};
// line at the foot of the window shown when the desktop has no system tray
inline constexpr Text controlNoTray{
    "control.noTray",
    "No system tray was found, so Ambrel shows this window instead. On GNOME, the AppIndicator "
    "extension adds a tray."};
// question when the window shown for lack of a tray is closed
inline constexpr Text controlQuitTitle{"control.quitTitle", "Quit Ambrel?"};
// explanation under that question
inline constexpr Text controlQuitDetail{
    "control.quitDetail",
    "Without a system tray, this window is the only place that shows Ambrel and stops it."};
// number of transcript lines, singular
inline constexpr Text countLinesOne{"count.lines.one", "1 line"};
// number of transcript lines, plural; %d is the number
inline constexpr Text countLinesOther{"count.lines.other", "%d lines"};
// status message; %@ is the reason
inline constexpr Text errorModelDownload{"error.modelDownload",
                                         "Couldn’t download the language model (%@)"};
// status message when none of the chosen recognition languages can be recognised on this computer
inline constexpr Text errorNoSpeechModel{"error.noSpeechModel",
                                         "No speech recognition is available for these languages"};
// status message when no source is enabled
inline constexpr Text errorNoAudioSource{"error.noAudioSource",
                                         "Turn on system audio or the microphone"};
// error message in the history window
inline constexpr Text historyCannotTrashLive{
    "history.cannotTrashLive",
    "The session being recorded can’t be moved to the Trash. Stop transcription first."};
// toolbar button and context-menu item: copy the whole transcript
inline constexpr Text historyCopyAll{"history.copyAll", "Copy All"};
// toolbar menu holding the two copy switches
inline constexpr Text historyCopyOptions{"history.copyOptions", "Copy Options"};
// check item: include speaker names when copying
inline constexpr Text historyCopySpeakers{"history.copySpeakers", "Copy Speaker Labels"};
// check item: include times when copying
inline constexpr Text historyCopyTimestamps{"history.copyTimestamps", "Copy Timestamps"};
// toolbar button and context-menu item: save the transcript as a file in a chosen format
inline constexpr Text historyExport{"history.export", "Export…"};
// alert message; first %@ is the path of the file, second %@ the reason
inline constexpr Text historyExportFailed{"history.export.failed", "Couldn’t export to “%@” (%@)"};
// file type in the export dialog, followed by its pattern "(*.json)"
inline constexpr Text historyExportJson{"history.export.json", "JSON"};
// file type in the export dialog, followed by its pattern "(*.md)"
inline constexpr Text historyExportMarkdown{"history.export.md", "Markdown"};
// file type in the export dialog, followed by its pattern "(*.srt)"
inline constexpr Text historyExportSrt{"history.export.srt", "SubRip Subtitles"};
// title of the export dialog
inline constexpr Text historyExportTitle{"history.export.title", "Export Transcript"};
// file type in the export dialog, followed by its pattern "(*.txt)"
inline constexpr Text historyExportPlainText{"history.export.txt", "Plain Text"};
// file type in the export dialog, followed by its pattern "(*.vtt)"
inline constexpr Text historyExportWebVtt{"history.export.vtt", "WebVTT Subtitles"};
// placeholder title when a session file cannot be read
inline constexpr Text historyLoadFailed{"history.loadFailed", "Couldn’t Read This Session"};
// button and context-menu item
inline constexpr Text historyMoveToTrash{"history.moveToTrash", "Move to Trash"};
// placeholder over an empty transcript
inline constexpr Text historyNoLines{"history.noLines", "No Transcription Yet"};
// placeholder when a search finds nothing; %@ is the search text
inline constexpr Text historyNoResults{"history.noResults", "No Results for “%@”"};
// placeholder of an empty session list
inline constexpr Text historyNoSessionsTitle{"history.noSessionsTitle", "No Sessions Yet"};
// toolbar button and context-menu item: open the Markdown transcript file
inline constexpr Text historyOpenMarkdown{"history.openMarkdown", "Open Markdown"};
// badge on the session being recorded
inline constexpr Text historyRecordingBadge{"history.recordingBadge", "Recording"};
// context-menu item: show the file in the desktop's file manager
inline constexpr Text historyRevealInFileManager{"history.revealInFinder", "Show in File Manager"};
// placeholder of the search field
inline constexpr Text historySearch{"history.search", "Search Transcripts"};
// placeholder when no session is selected
inline constexpr Text historySelectSession{"history.selectSession", "Select a Session"};
// confirmation title; %@ is the session's date and time
inline constexpr Text historyTrashConfirmTitle{"history.trashConfirmTitle",
                                               "Move “%@” to the Trash?"};
// button tooltip and title of the add-language sheet
inline constexpr Text languagesAdd{"languages.add", "Add Language"};
// button of the add-language sheet
inline constexpr Text languagesAddButton{"languages.addButton", "Add"};
// section header of the recognition-language list
inline constexpr Text languagesHeader{"languages.header", "Language"};
// note in the Add Language sheet when the list of downloadable languages cannot be loaded; %@
// is the reason
inline constexpr Text languagesListUnavailable{
    "languages.listUnavailable", "The list of languages to download couldn’t be loaded (%@)."};
// button tooltip
inline constexpr Text languagesRemove{"languages.remove", "Remove Language"};
// placeholder of a search field
inline constexpr Text languagesSearch{"languages.search", "Search"};
// button in the Add Language sheet: load the list of downloadable languages again
inline constexpr Text languagesTryAgain{"languages.tryAgain", "Try Again"};
// right side of a language row whose model is neither installed nor downloadable now
inline constexpr Text languagesUnavailable{"languages.unavailable", "Not Available"};
// menu command: close the window
inline constexpr Text mainMenuClose{"mainMenu.close", "Close"};
// edit command
inline constexpr Text mainMenuCopy{"mainMenu.copy", "Copy"};
// edit command
inline constexpr Text mainMenuCut{"mainMenu.cut", "Cut"};
// edit command
inline constexpr Text mainMenuFind{"mainMenu.find", "Find…"};
// edit command
inline constexpr Text mainMenuFindNext{"mainMenu.findNext", "Find Next"};
// edit command
inline constexpr Text mainMenuFindPrevious{"mainMenu.findPrevious", "Find Previous"};
// window command
inline constexpr Text mainMenuMinimize{"mainMenu.minimize", "Minimize"};
// edit command
inline constexpr Text mainMenuPaste{"mainMenu.paste", "Paste"};
// edit command
inline constexpr Text mainMenuRedo{"mainMenu.redo", "Redo"};
// edit command
inline constexpr Text mainMenuSelectAll{"mainMenu.selectAll", "Select All"};
// edit command
inline constexpr Text mainMenuUndo{"mainMenu.undo", "Undo"};
// edit command
inline constexpr Text mainMenuUseSelectionForFind{"mainMenu.useSelectionForFind",
                                                  "Use Selection for Find"};
// transcript marker: transcription was paused here
inline constexpr Text markerPaused{"marker.paused", "Paused"};
// transcript marker: transcription was resumed here
inline constexpr Text markerResumed{"marker.resumed", "Resumed"};
// menu item
inline constexpr Text menuAbout{"menu.about", "About Ambrel"};
// recognition languages chosen automatically
inline constexpr Text menuAutomaticLanguage{"menu.automaticLanguage", "Automatic"};
// secondary line under Automatic
inline constexpr Text menuAutomaticLanguageBasis{"menu.automaticLanguageBasis",
                                                 "Based on system languages"};
// menu item
inline constexpr Text menuChangeStorage{"menu.changeStorage", "Change Transcripts Folder…"};
// menu item
inline constexpr Text menuCheckForUpdates{"menu.checkForUpdates", "Check for Updates…"};
// hint under the language list; %1$d and %2$d are numbers (5 and 3)
inline constexpr Text menuDetectLimitHint{"menu.detectLimitHint",
                                          "Up to %1$d languages. %2$d or fewer recommended."};
// submenu title: language of the app's own texts
inline constexpr Text menuInterfaceLanguage{"menu.interfaceLanguage", "Interface Language"};
// check item: start the app when the user logs in
inline constexpr Text menuLaunchAtLogin{"menu.launchAtLogin", "Launch at Login"};
// microphone choice: pick the device automatically
inline constexpr Text menuMicAutomatic{"menu.micAutomatic", "Automatic"};
// secondary text of the automatic microphone choice
inline constexpr Text menuMicAutomaticHint{"menu.micAutomaticHint",
                                           "Follows the active microphone"};
// switch in the microphone submenu: removes what the speakers play from what the microphone hears
inline constexpr Text menuMicCancelEcho{"menu.micCancelEcho", "Cancel Speaker Echo"};
// status of a microphone that is unplugged (lower case, used inside a sentence)
inline constexpr Text menuMicNotConnected{"menu.micNotConnected", "not connected"};
// submenu title and row title
inline constexpr Text menuMicrophone{"menu.microphone", "Microphone"};
// the speech model of a language is not installed
inline constexpr Text menuNeedsDownload{"menu.needsDownload", "Not Downloaded"};
// state of a switch
inline constexpr Text menuOff{"menu.off", "Off"};
// state of a switch
inline constexpr Text menuOn{"menu.on", "On"};
// submenu title: the floating caption window
inline constexpr Text menuOverlay{"menu.overlay", "Floating Window"};
// slider label
inline constexpr Text menuOverlayContrast{"menu.overlayContrast", "Contrast"};
// menu item
inline constexpr Text menuOverlayRestoreFrame{"menu.overlayRestoreFrame",
                                              "Restore Default Position and Size"};
// menu item
inline constexpr Text menuOverlayRestoreStyle{"menu.overlayRestoreStyle", "Restore Default Style"};
// check item
inline constexpr Text menuOverlayShow{"menu.overlayShow", "Show Floating Window"};
// menu item opening the transparency and contrast controls
inline constexpr Text menuOverlayStyle{"menu.overlayStyle", "Floating Window Style…"};
// slider label
inline constexpr Text menuOverlayTransparency{"menu.overlayTransparency", "Transparency"};
// menu item: pause transcription
inline constexpr Text menuPause{"menu.pause", "Pause"};
// submenu title
inline constexpr Text menuPermissions{"menu.permissions", "Permissions"};
// menu item opening the sound settings for the microphone
inline constexpr Text menuPermissionsMicrophone{"menu.permissions.microphone", "Microphone…"};
// menu item opening the sound settings for recording system audio
inline constexpr Text menuPermissionsSystemAudio{"menu.permissions.systemAudio",
                                                 "System Audio Recording…"};
// menu item: quit the app
inline constexpr Text menuQuit{"menu.quit", "Quit"};
// menu item; %@ is a version number
inline constexpr Text menuRestartToInstall{"menu.restartToInstall", "Restart to Install %@"};
// menu item: resume transcription
inline constexpr Text menuResume{"menu.resume", "Resume"};
// menu item
inline constexpr Text menuRevealFolder{"menu.revealFolder", "Show Transcripts Folder"};
// submenu title
inline constexpr Text menuSettings{"menu.settings", "Settings"};
// menu item opening the setup panel
inline constexpr Text menuSetup{"menu.setup", "Setup…"};
// menu item opening the history window
inline constexpr Text menuShowHistory{"menu.showHistory", "Open Transcripts"};
// window title and row title: recognition languages
inline constexpr Text menuSpeechRecognition{"menu.speechRecognition", "Speech Recognition"};
// menu item opening the recognition-languages window
inline constexpr Text menuSpeechRecognitionWindow{"menu.speechRecognitionWindow",
                                                  "Speech Recognition…"};
// menu item
inline constexpr Text menuStart{"menu.start", "Start Transcription"};
// menu item
inline constexpr Text menuStop{"menu.stop", "Stop Transcription"};
// row title: transcribe what the computer plays
inline constexpr Text menuSystemAudio{"menu.systemAudio", "System Audio"};
// interface language follows the system
inline constexpr Text menuSystemDefault{"menu.systemDefault", "System Default"};
// menu item; %@ is a version number
inline constexpr Text menuUpdateTo{"menu.updateTo", "Update to %@…"};
// context-menu item of the floating caption window
inline constexpr Text overlayHide{"overlay.hide", "Hide Floating Transcription"};
// shown in the floating caption window before any words arrive
inline constexpr Text overlayListening{"overlay.listening", "Listening…"};
// title of the small transparency and contrast window
inline constexpr Text overlayStyleTitle{"overlay.styleTitle", "Floating Window Style"};
// button of the folder dialog
inline constexpr Text panelChoose{"panel.choose", "Choose"};
// message of the folder dialog
inline constexpr Text panelChooseStorage{"panel.chooseStorage",
                                         "Choose the folder where transcripts are saved"};
// a transcript line with its speaker: first %@ the speaker, second %@ the text
inline constexpr Text speakerLine{"speaker.line", "%@: %@"};
// speaker name for the user's microphone
inline constexpr Text speakerMe{"speaker.me", "Me"};
// speaker name for what the computer plays (the other people in a call)
inline constexpr Text speakerOthers{"speaker.others", "Others"};
// status line; %d is a percentage, %% is the percent sign
inline constexpr Text statusDownloadingModel{"status.downloadingModel",
                                             "Downloading language model %d%%"};
// status line; %@ is the reason
inline constexpr Text statusFailed{"status.failed", "Transcription failed: %@"};
// status line: transcription is running
inline constexpr Text statusListening{"status.listening", "Listening"};
// status line
inline constexpr Text statusOff{"status.off", "Transcription off"};
// status line
inline constexpr Text statusPaused{"status.paused", "Paused"};
// status detail; %@ is the reason
inline constexpr Text statusSaveFailed{"status.saveFailed", "Save failed: %@"};
// status line
inline constexpr Text statusStarting{"status.starting", "Starting transcription…"};
// part of the status line (lower case, follows a middle dot)
inline constexpr Text statusWaitingForSpeech{"status.waitingForSpeech", "waiting for speech"};
// header item of a transcript file
inline constexpr Text transcriptDuration{"transcript.duration", "Duration"};
// header item of a transcript file
inline constexpr Text transcriptEnded{"transcript.ended", "Ended"};
// header item of a transcript file
inline constexpr Text transcriptLanguage{"transcript.language", "Language"};
// header item of a transcript file: number of lines
inline constexpr Text transcriptLines{"transcript.lines", "Lines"};
// shown as the end time while a session is still being recorded
inline constexpr Text transcriptRecording{"transcript.recording", "Recording…"};
// header item of a transcript file
inline constexpr Text transcriptStarted{"transcript.started", "Started"};
// heading of a transcript file
inline constexpr Text transcriptTitle{"transcript.title", "Transcription"};
// alert after "Check for Updates…" when the feed could not be read; %@ is the reason
inline constexpr Text updateCheckFailed{"update.checkFailed", "Couldn’t check for updates (%@)"};
// menu item while an update downloads; %@ is its version, %d a percentage, %% the percent sign
inline constexpr Text updateDownloading{"update.downloading", "Downloading %@… %d%%"};
// alert after "Check for Updates…" when nothing newer exists; %@ is the running version
inline constexpr Text updateUpToDate{"update.upToDate", "Ambrel %@ is the newest version."};
// warning in the status and the Speech Recognition window; %1$@ is a language's name, %2$@ the
// reason the list of downloadable models could not be loaded
inline constexpr Text warningLanguageOffline{
    "warning.languageOffline",
    "%1$@ isn’t available: its speech model isn’t installed, and the list of models to download "
    "couldn’t be loaded (%2$@)"};
// warning in the status and the Speech Recognition window; %@ is a language's name
inline constexpr Text warningLanguageUnavailable{
    "warning.languageUnavailable",
    "%@ isn’t available: its speech model isn’t installed or offered for download"};
// warning in the status
inline constexpr Text warningMicrophoneDenied{
    "warning.microphoneDenied", "No microphone permission — transcribing system audio only"};
// warning; %@ is the reason
inline constexpr Text warningMicrophoneFailed{"warning.microphoneFailed", "Microphone failed: %@"};
// warning; %@ is the reason
inline constexpr Text warningSystemAudioFailed{"warning.systemAudioFailed",
                                               "System audio failed: %@"};
// setup step button: grant a permission
inline constexpr Text welcomeAllow{"welcome.allow", "Allow…"};
// setup step button
inline constexpr Text welcomeChange{"welcome.change", "Change…"};
// setup step button: choose the transcripts folder
inline constexpr Text welcomeChoose{"welcome.choose", "Choose…"};
// button closing the setup panel
inline constexpr Text welcomeDone{"welcome.done", "Done"};
// setup step title
inline constexpr Text welcomeFolder{"welcome.folder", "Transcripts Folder"};
// setup step title
inline constexpr Text welcomeMicrophonePermission{"welcome.microphonePermission",
                                                  "Microphone Permission"};
// setup step button opening the desktop's sound settings
inline constexpr Text welcomeOpenSettings{"welcome.openSettings", "Open Sound Settings"};
// setup step title
inline constexpr Text welcomeSystemAudioPermission{"welcome.systemAudioPermission",
                                                   "System Audio Permission"};

// All of the above, in key order.
std::span<const Text> all();

} // namespace Texts
} // namespace ambrel

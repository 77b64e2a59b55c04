#pragma once
// CFileLocalDlg: the file dialog of every load and save. Besides the chosen path it records
// the label of the file type chosen in it (which changes nothing the callers write).
//
// Tests (and machines without a display) answer it through a script instead of a window.

#include <QString>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "measure/measurement_file.h"

class QWidget;

class CFileLocalDlg {
  public:
    // open: an open dialog; otherwise a save dialog, which asks before replacing a file.
    CFileLocalDlg(bool open, const std::string& initialName, std::span<const FileFilter> filters,
                  QWidget* parent);

    // A save dialog whose caller writes under the chosen name with `extension` added (as
    // WithExtension adds it): PathName() is then that name, and the dialog asks before
    // replacing a file there, whether the dialog is shown or scripted. No is a Cancel.
    void SetSavedExtension(const std::string& extension) { extension_ = extension; }

    // Shows the dialog on the user-interface thread; true when the user chose a path.
    bool DoModal();

    std::string PathName() const { return path_; }
    std::string ChosenFilterLabel() const { return filterLabel_; }
    bool IsOpenDialog() const { return open_; }
    const std::string& InitialName() const { return initialName_; }
    std::span<const FileFilter> Filters() const { return filters_; }

    // A script answers every dialog instead of the user: the path, or nothing for Cancel.
    // An empty function restores the real dialog. The script belongs to the application object
    // (it goes with it); set it on the user-interface thread, where the dialogs run.
    using Script = std::function<std::optional<std::string>(const CFileLocalDlg&)>;
    static void SetScript(Script script);

  private:
    bool ChoosePath();
    bool MayReplace() const;

    bool open_;
    std::string extension_;
    std::string initialName_;
    std::span<const FileFilter> filters_;
    QWidget* parent_;
    std::string path_;
    std::string filterLabel_;
};

// Runs a dialog for a worker thread: shown on the user-interface thread while the worker
// waits for the answer. Returns the chosen path, or nothing when cancelled.
std::optional<std::string> ChooseFileFromWorker(bool open, const std::string& initialName,
                                                std::span<const FileFilter> filters,
                                                QWidget* parent);

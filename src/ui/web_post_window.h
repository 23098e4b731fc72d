#pragma once

#include "realtime_status_view.h"

#include <QWidget>

class AcquisitionCore;
class QCheckBox;
class QLineEdit;
class QProgressBar;
class QTableView;
class StatusField;
class UserPrompts;

// The web posting window, "Send Data to Web Server": the posting state, the account, the
// interval and thresholds, the "Enable Web Server" box and the post log. Closing it only hides
// it; it lives as long as the main window.
class WebPostWindow final : public QWidget, public RealTimeStatusView {
    Q_OBJECT
public:
    WebPostWindow(AcquisitionCore &core, UserPrompts &prompts, QWidget *parent = nullptr);

    // Fills the status box, the account, the interval and thresholds and the check box from
    // the settings. [RefreshTextBoxes]
    void refreshTextBoxes();

    // The status box, as the real-time control reports it (Field::WebForm only).
    void showRealTimeActive(Field field) override;
    void showRealTimeStopped(Field field) override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildFields();
    // The post log's columns with their titles and widths. [MakeHeader]
    void makeHeader();
    void connectPoster();
    void enableClicked(bool on);
    void clearList();
    void showStarted();

    AcquisitionCore &core_;
    UserPrompts &prompts_;
    StatusField *status_ = nullptr;
    QLineEdit *account_ = nullptr;
    QLineEdit *interval_ = nullptr;
    QLineEdit *thres1_ = nullptr;
    QLineEdit *thres2_ = nullptr;
    QCheckBox *enable_ = nullptr;
    QProgressBar *progress_ = nullptr;
    QTableView *log_ = nullptr;
};

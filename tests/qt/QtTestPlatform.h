#pragma once
// The Qt front end on the fake machine: the dialog, its controls and resources are Qt's; the
// drives, store, threads and shell services are the fakes the tests drive.
#include <QTimer>
#include <functional>
#include <memory>
#include "app/CopyDlg.h"
#include "platform/fake/FakePlatform.h"
#include "platform/qt/QtDesktop.h"
#include "platform/qt/QtDialog.h"
#include "platform/qt/QtDialogHost.h"
#include "platform/qt/QtResources.h"
#include "platform/qt/QtShellInfo.h"
#include "platform/qt/QtShellServices.h"

namespace dravolin::qt::test {

// Records, with every registry call and every worker termination, whether the poll timer
// exists at that moment: the order of set-up and teardown seen from outside.
class TimerWitness {
  public:
    explicit TimerWitness(fake::CallLog& log) : log_(log) {}
    void Note(const std::string& what) {
        const QtDialog* dialog = host ? host->Current() : nullptr;
        log_.Add(what + (dialog && dialog->HasTimer(1) ? " timer" : " no-timer"));
    }
    QtDialogHost* host = nullptr;

  private:
    fake::CallLog& log_;
};

class WitnessedRegistry : public Registry {
  public:
    WitnessedRegistry(Registry& inner, TimerWitness& witness) : inner_(&inner), witness_(witness) {}
    // Puts another registry behind this one.
    void Wrap(Registry& inner) { inner_ = &inner; }
    Value GetValue(win::RootKey root, const std::string& subKey, const std::string& name,
                   std::uint32_t capacity) override {
        return inner_->GetValue(root, subKey, name, capacity);
    }
    std::int32_t SetValue(win::RootKey root, const std::string& subKey, const std::string& name,
                          std::uint32_t type, const std::string& data) override {
        witness_.Note("set " + name);
        return inner_->SetValue(root, subKey, name, type, data);
    }
    std::int32_t DeleteValue(win::RootKey root, const std::string& subKey,
                             const std::string& name) override {
        witness_.Note("delete " + name);
        return inner_->DeleteValue(root, subKey, name);
    }

  private:
    Registry* inner_;
    TimerWitness& witness_;
};

class WitnessedThreads : public Threads {
  public:
    WitnessedThreads(Threads& inner, TimerWitness& witness) : inner_(inner), witness_(witness) {}
    std::unique_ptr<WorkerThread> Create(Job job) override {
        auto thread = inner_.Create(std::move(job));
        if (!thread) return nullptr;
        return std::make_unique<Handle>(std::move(thread), witness_);
    }

  private:
    class Handle : public WorkerThread {
      public:
        Handle(std::unique_ptr<WorkerThread> inner, TimerWitness& witness)
            : inner_(std::move(inner)), witness_(witness) {}
        bool HasEnded() override { return inner_->HasEnded(); }
        void Terminate(std::uint32_t exitCode) override {
            witness_.Note("terminate");
            inner_->Terminate(exitCode);
        }

      private:
        std::unique_ptr<WorkerThread> inner_;
        TimerWitness& witness_;
    };
    Threads& inner_;
    TimerWitness& witness_;
};

struct QtTestPlatform {
    explicit QtTestPlatform(Language language = Language::English,
                            std::shared_ptr<CopyChannels> channels = nullptr)
        : resources(language),
          host(language, std::move(channels)),
          shellInfo(*fakes.machine),
          registry(fakes.registry, witness),
          threads(fakes.threads, witness),
          platform{desktop,         host,
                   resources,       *fakes.machine,
                   shellInfo,       registry,
                   *fakes.machine,  fakes.codePage,
                   autoComplete,    fakes.folderPicker,
                   fakes.shellOpen, fakes.contextMenu,
                   threads,         fakes.Get().workers} {
        witness.host = &host;
    }

    // Runs the dialog modally; `whileOpen` acts on it once its loop runs and must end it.
    // Whatever happens inside, the dialog is closed afterwards so the test cannot hang.
    void Run(const std::function<void(QtDialog&)>& whileOpen) {
        RunWithCore([&](QtDialog& window, CCopyDlg&) { whileOpen(window); });
    }
    // The same, with the core's dialog at hand.
    void RunWithCore(const std::function<void(QtDialog&, CCopyDlg&)>& whileOpen) {
        CCopyDlg dialog(platform, archive);
        QTimer::singleShot(0, [this, whileOpen, &dialog] {
            QtDialog* window = host.Current();
            if (!window) return;
            whileOpen(*window, dialog);
            if (host.Current() == window && window->isVisible()) window->done(0);
        });
        dialog.DoModal();
    }

    // Archive mode as the program was started; the fakes hold an archiver.
    ArchiveOptions archive;
    fake::FakePlatform fakes;
    TimerWitness witness{fakes.log};
    QtDesktop desktop;
    QtResources resources;
    QtDialogHost host;
    QtShellInfo shellInfo;
    QtAutoComplete autoComplete;
    WitnessedRegistry registry;
    WitnessedThreads threads;
    Platform platform;
};

}  // namespace dravolin::qt::test

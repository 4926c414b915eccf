// The live values window: its controls, and the passes, each the reading of
// "Считать значения" run as the window's meter command (so the other commands
// wait for it, "Стоп" ends it after its current exchange, and the store of
// readings gets it as a current-values reading).
#include "app/live_watch.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/kros.h"
#include "values/current_values_read.h"

namespace vardis {

namespace {

QString timeText(const LocalDateTime& t) {
  return QString::asprintf("%02d:%02d:%02d", t.hour, t.minute, t.second);
}

}  // namespace

LiveWatch::LiveWatch(TForm1& form)
    : QWidget(&form, Qt::Window), form_(form), log_(watchColumns(form.session())) {
  setObjectName("LiveWatch");
  setWindowTitle(QStringLiteral("Наблюдение"));
  resize(980, 640);
  timer_ = new QTimer(this);
  timer_->setObjectName("LiveWatchTimer");
  timer_->setInterval(kDefaultIntervalSeconds * 1000);
  connect(timer_, &QTimer::timeout, this, &LiveWatch::pass);
  buildControls();
  connect(&form_, &TForm1::connectionEnded, this, &LiveWatch::connectionEnded);
}

LiveWatch::~LiveWatch() = default;

void LiveWatch::buildControls() {
  interval_ = new QSpinBox;
  interval_->setObjectName("LiveWatchInterval");
  interval_->setRange(1, 3600);
  interval_->setValue(kDefaultIntervalSeconds);
  interval_->setSuffix(QStringLiteral(" с"));
  interval_->setToolTip(QStringLiteral("Через сколько секунд считывать значения снова"));
  connect(interval_, &QSpinBox::valueChanged, this,
          [this](int seconds) { timer_->setInterval(seconds * 1000); });
  const auto button = [this](const char* name, const QString& caption, void (LiveWatch::*slot)()) {
    auto* b = new QPushButton(caption);
    b->setObjectName(name);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, slot);
    return b;
  };
  start_ = button("LiveWatchStart", QStringLiteral("Начать"), &LiveWatch::start);
  stop_ = button("LiveWatchStop", QStringLiteral("Остановить"), &LiveWatch::stop);
  save_ = button("LiveWatchSave", QStringLiteral("Сохранить CSV"), &LiveWatch::saveCsv);
  status_ = new QLabel(QStringLiteral("Наблюдение не начато"));
  status_->setObjectName("LiveWatchStatus");

  auto* controls = new QHBoxLayout;
  controls->addWidget(new QLabel(QStringLiteral("Опрос каждые")));
  controls->addWidget(interval_);
  controls->addWidget(start_);
  controls->addWidget(stop_);
  controls->addStretch(1);
  controls->addWidget(save_);

  auto* split = new QSplitter(Qt::Horizontal);
  split->addWidget(newTable());
  split->addWidget(newChart());
  split->setStretchFactor(1, 1);
  split->setSizes({380, 600});

  auto* box = new QVBoxLayout(this);
  box->addLayout(controls);
  box->addWidget(status_);
  box->addWidget(split, 1);
  applyButtons();
}

QString LiveWatch::statusText() const {
  return status_->text();
}

void LiveWatch::setStatus(const QString& text) {
  status_->setText(text);
}

void LiveWatch::applyButtons() {
  start_->setEnabled(!watching_);
  stop_->setEnabled(watching_);
}

void LiveWatch::start() {
  if (watching_) return;
  if (!form_.Timer1->isActive()) {
    setStatus(QStringLiteral("Связь не начата: нажмите «Старт» в главном окне"));
    return;
  }
  ++generation_;
  log_.clear();
  watching_ = true;
  timer_->start();
  applyButtons();
  fillTable();
  redrawChart();
  setStatus(QStringLiteral("Наблюдение начато"));
  pass();
}

void LiveWatch::stop() {
  if (!watching_) return;
  watching_ = false;
  timer_->stop();
  applyButtons();
  setStatus(QStringLiteral("Наблюдение остановлено, проходов: %1").arg(log_.rows().size()));
}

void LiveWatch::connectionEnded() {
  if (!watching_) return;
  stop();
  setStatus(QStringLiteral("Связь завершена: наблюдение остановлено, проходов: %1")
                .arg(log_.rows().size()));
}

void LiveWatch::pass() {
  // The timer came while this window's own pass waits for the meter.
  if (inPass_) return;
  if (!form_.Timer1->isActive()) {
    setStatus(QStringLiteral("Проход не выполнен: связь не начата (нажмите «Старт»)"));
    return;
  }
  if (form_.commandRunning()) {
    setStatus(QStringLiteral("Проход пропущен: выполняется другая команда"));
    return;
  }
  const int generation = generation_;
  Session& session = form_.session();
  const LocalDateTime time = session.clock().now();
  bool read = false;
  inPass_ = true;
  form_.runMeterCommand(
      [&session, &read] {
        ReadCurrentValues(session);
        read = true;
      },
      store::StoredReading::Values);
  inPass_ = false;
  if (!read) {
    // Stopped by "Стоп" (the watch says so already) or ended by an error.
    if (watching_) setStatus(QStringLiteral("Проход в %1 не завершён").arg(timeText(time)));
    return;
  }
  if (generation != generation_) return;
  log_.add({time, watchValues(session)}, watchColumns(session));
  passDone(time);
}

void LiveWatch::passDone(const LocalDateTime& time) {
  fillTable();
  redrawChart();
  QStringList silent;
  const auto& row = log_.rows().back();
  for (std::size_t i = 0; i < row.values.size(); ++i) {
    if (!row.values[i]) silent << QString::fromStdString(log_.columns()[i].name);
  }
  QString text = QStringLiteral("Проход %1 в %2").arg(log_.rows().size()).arg(timeText(time));
  if (!silent.isEmpty())
    text += QStringLiteral("; нет ответа: ") + silent.join(QStringLiteral(", "));
  setStatus(text);
}

void LiveWatch::closeEvent(QCloseEvent* event) {
  stop();
  QWidget::closeEvent(event);
}

}  // namespace vardis

void TForm1::showLiveWatch() {
  if (!watch_) watch_ = new vardis::LiveWatch(*this);
  watch_->show();
  watch_->raise();
  watch_->activateWindow();
}

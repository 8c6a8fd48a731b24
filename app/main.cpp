// The application entry: one model for the whole run and, until the real
// windows arrive, a small window that drives it.

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

#include "app/model/app_model.h"
#include "app/ui/qt_user_interaction.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Veltrop"));
    QApplication::setApplicationName(QStringLiteral("Veltrop"));

    auto interaction = std::make_shared<veltrop::app::QtUserInteraction>();
    veltrop::app::AppModel model(interaction);

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Veltrop"));
    interaction->setWindow(&window);
    auto* content = new QWidget(&window);
    auto* layout = new QVBoxLayout(content);
    auto* status = new QLabel(content);
    auto* preview = new QLabel(content);
    preview->setAlignment(Qt::AlignCenter);
    preview->setMinimumSize(480, 320);
    auto* choose = new QPushButton(QString::fromUtf8("Choose Photos\u2026"), content);
    auto* exportButton = new QPushButton(content);
    layout->addWidget(choose);
    layout->addWidget(preview, 1);
    layout->addWidget(status);
    layout->addWidget(exportButton);
    window.setCentralWidget(content);

    QObject::connect(choose, &QPushButton::clicked, &model, &veltrop::app::AppModel::choosePhotos);
    QObject::connect(exportButton, &QPushButton::clicked, &model, &veltrop::app::AppModel::startExport);
    auto redraw = [&] {
        status->setText(QString::fromStdString(model.isRunning()
                                                   ? std::to_string(model.completedCount()) + " of " +
                                                         std::to_string(model.totalCount())
                                                   : model.statusText()));
        exportButton->setText(QString::fromStdString(model.exportButtonTitle()));
        exportButton->setEnabled(model.canExport());
        const QImage image = model.previewImage();
        if (!image.isNull())
            preview->setPixmap(QPixmap::fromImage(image).scaled(preview->size(), Qt::KeepAspectRatio,
                                                                Qt::SmoothTransformation));
        else
            preview->setText(QString::fromStdString(model.previewError().value_or("")));
    };
    QObject::connect(&model, &veltrop::app::AppModel::changed, &window, redraw);
    redraw();

    window.show();
    return QApplication::exec();
}

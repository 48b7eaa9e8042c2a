<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ru_RU">
<context>
    <name>qv::JobTexts</name>
    <message>
        <source>Файлов: </source>
        <translation>Files: </translation>
    </message>
    <message>
        <source>Сначала добавьте файлы</source>
        <translation>Add some files first</translation>
    </message>
    <message>
        <source>Сначала выберите разрешения</source>
        <translation>Choose the resolutions first</translation>
    </message>
    <message>
        <source>Введите желаемое имя файла: </source>
        <translation>Enter a name for the file: </translation>
    </message>
</context>
<context>
    <name>qv::TForm1</name>
    <message>
        <source>Файлы</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>Конвертирование: </source>
        <translation>Conversion: </translation>
    </message>
    <message>
        <source>Папка сохранения:</source>
        <translation>Output folder:</translation>
    </message>
    <message>
        <source>Старт!</source>
        <translation>Start!</translation>
    </message>
    <message>
        <source>Настройки</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Общий прогресс</source>
        <translation>Overall progress</translation>
    </message>
    <message>
        <source>Добавить</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Очистить</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>Выйти</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Действия</source>
        <translation>Actions</translation>
    </message>
    <message>
        <source>Начать обработку</source>
        <translation>Start processing</translation>
    </message>
</context>
<context>
    <name>qv::TForm2</name>
    <message>
        <source>Настройки процесса:</source>
        <translation>Processing settings:</translation>
    </message>
    <message>
        <source>Сжатие JPEG</source>
        <translation>JPEG compression</translation>
    </message>
    <message>
        <source>Сжатие:</source>
        <translation>Compression:</translation>
    </message>
    <message>
        <source>Поворачивать по EXIF</source>
        <translation>Rotate by EXIF orientation</translation>
    </message>
    <message>
        <source>Настройки сохранения:</source>
        <translation>Output settings:</translation>
    </message>
    <message>
        <source>Запрашивать имя для каждого файла</source>
        <translation>Ask for a name for each file</translation>
    </message>
    <message>
        <source>Добавлять преффикс</source>
        <translation>Add prefix</translation>
    </message>
    <message>
        <source>Добавлять суффикс</source>
        <translation>Add suffix</translation>
    </message>
    <message>
        <source>Добавлять разрешение в конце имени</source>
        <translation>Append resolution to the name</translation>
    </message>
    <message>
        <source>Транслитерировать имя</source>
        <translation>Transliterate the name</translation>
    </message>
    <message>
        <source>Резать следующие
разрешения:</source>
        <translation>Cut these
resolutions:</translation>
    </message>
    <message>
        <source>Сохранять каждый тип
Разрешений в 
Собствующей папке</source>
        <translation>Save each
resolution in
its own folder</translation>
    </message>
    <message>
        <source>Применить</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>%1%</source>
        <extracomment>The compression slider&apos;s position in percent.</extracomment>
        <translation>%1%</translation>
    </message>
    <message>
        <source>Настройки</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Размер не введён</source>
        <translation>No size entered</translation>
    </message>
    <message>
        <source>Размер пишется как ширина x высота, например 1080x2400</source>
        <translation>Enter the size as width x height, for example 1080x2400</translation>
    </message>
    <message>
        <source>Ширина и высота должны быть от 1 до %1</source>
        <translation>Width and height must be between 1 and %1</translation>
    </message>
    <message>
        <source>Размер уже есть в списке</source>
        <translation>This size is already in the list</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>Добавить размер…</source>
        <translation>Add a size…</translation>
    </message>
    <message>
        <source>Высокое качество уменьшения</source>
        <translation>High-quality reduction</translation>
    </message>
</context>
<context>
    <name>qv::TForm3</name>
    <message>
        <source>Ручная обработка</source>
        <translation>Manual crop</translation>
    </message>
    <message>
        <source>Мышь или стрелки: сдвинуть рамку, с Shift на десятую часть
Home, End: рамка у края фото
Enter или щелчок по рамке: сохранить
Пробел: пропустить фото
Backspace: вернуться к предыдущему фото</source>
        <extracomment>The tooltip of the crop window&apos;s picture and frame: the keys.</extracomment>
        <translation>Mouse or arrow keys: move the frame, with Shift by a tenth
Home, End: the frame at an end of the photo
Enter or a click on the frame: save
Space: skip this photo
Backspace: back to the previous photo</translation>
    </message>
    <message>
        <source>%1 — %2x%3, %4 / %5</source>
        <extracomment>The crop window&apos;s caption during a run: the size of the pass, the photo&apos;s number and the number of photos.</extracomment>
        <translation>%1 — %2x%3, %4 / %5</translation>
    </message>
    <message>
        <source>%1 — %2%</source>
        <extracomment>The crop window&apos;s caption when the picture is shown scaled down, and the scale.</extracomment>
        <translation>%1 — %2%</translation>
    </message>
</context>
<context>
    <name>qv::TInputBoxDialog</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>qv::TKeptSizes</name>
    <message>
        <source>Список размеров не сохранён: файл «%1» не удалось прочитать при запуске, и он был бы записан без них</source>
        <translation>The list of sizes was not saved: the file “%1” could not be read at start-up, and saving now would lose the sizes kept in it</translation>
    </message>
    <message>
        <source>Список размеров не сохранён в файл «%1»</source>
        <translation>The list of sizes was not saved to the file “%1”</translation>
    </message>
    <message>
        <source>Настройка «Высокое качество уменьшения» не сохранена: файл «%1» не удалось прочитать при запуске, и он был бы записан без сохранённых в нём размеров</source>
        <translation>The “High-quality reduction” setting was not saved: the file “%1” could not be read at start-up, and saving now would lose the sizes kept in it</translation>
    </message>
    <message>
        <source>Настройка «Высокое качество уменьшения» не сохранена в файл «%1»</source>
        <translation>The “High-quality reduction” setting was not saved to the file “%1”</translation>
    </message>
</context>
<context>
    <name>qv::TPictureOpenDialog</name>
    <message>
        <source>Picture:</source>
        <translation>Picture:</translation>
    </message>
    <message>
        <source>(None)</source>
        <translation>(None)</translation>
    </message>
    <message>
        <source> (%1x%2)</source>
        <extracomment>The previewed picture&apos;s width and height.</extracomment>
        <translation> (%1x%2)</translation>
    </message>
    <message>
        <source>JPEG Image File (*.jpg *.jpeg)</source>
        <translation>JPEG Image File (*.jpg *.jpeg)</translation>
    </message>
    <message>
        <source>Все изображения (*.jpg *.jpeg *.heic *.heif *.hif *.avif *.png *.webp)</source>
        <translation>All pictures (*.jpg *.jpeg *.heic *.heif *.hif *.avif *.png *.webp)</translation>
    </message>
    <message>
        <source>HEIF Image File (*.heic *.heif *.hif)</source>
        <translation>HEIF Image File (*.heic *.heif *.hif)</translation>
    </message>
    <message>
        <source>AVIF Image File (*.avif)</source>
        <translation>AVIF Image File (*.avif)</translation>
    </message>
    <message>
        <source>PNG Image File (*.png)</source>
        <translation>PNG Image File (*.png)</translation>
    </message>
    <message>
        <source>WebP Image File (*.webp)</source>
        <translation>WebP Image File (*.webp)</translation>
    </message>
</context>
<context>
    <name>qv::TQtDialogs</name>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>qv::TQtErrorBox</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>qv::TSizeBoxDialog</name>
    <message>
        <source>Добавить размер</source>
        <translation>Add a size</translation>
    </message>
    <message>
        <source>Размер экрана, ширина x высота:</source>
        <translation>Screen size, width x height:</translation>
    </message>
    <message>
        <source>например, 1080x2400</source>
        <translation>for example, 1080x2400</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
</context>
</TS>

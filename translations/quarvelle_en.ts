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
</context>
<context>
    <name>qv::TForm3</name>
    <message>
        <source>Ручная обработка</source>
        <translation>Manual crop</translation>
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
</TS>

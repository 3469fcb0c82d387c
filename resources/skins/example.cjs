/* Example skin for Tepora: a Qt style sheet. To use it, copy it beside the
   program as x/o.cjs (the folder x next to the tepora program). */

QWidget {
    background-color: #f4f7f9;
    color: #23313d;
    font-size: 10pt;
}

QLabel {
    background: transparent;
}

QPushButton {
    background-color: #dce9f2;
    color: #1d3b53;
    border: 1px solid #9fb8cc;
    border-radius: 8px;
    padding: 5px 16px;
    min-width: 64px;
}

QPushButton:hover {
    background-color: #c9dcea;
}

QPushButton:pressed {
    background-color: #b3cde0;
}

QPushButton:default {
    border: 2px solid #4f86b0;
}

QPushButton:disabled {
    color: #8d9ba6;
    background-color: #e9eef2;
    border-color: #ccd6de;
}

QLineEdit, QSpinBox, QDoubleSpinBox, QComboBox {
    background-color: #ffffff;
    border: 1px solid #b7c7d4;
    border-radius: 4px;
    padding: 3px 5px;
    selection-background-color: #4f86b0;
    selection-color: #ffffff;
}

QLineEdit:focus, QSpinBox:focus, QDoubleSpinBox:focus, QComboBox:focus {
    border-color: #4f86b0;
}

QCheckBox, QRadioButton {
    background: transparent;
    spacing: 6px;
}

QToolTip {
    background-color: #fffbe6;
    color: #23313d;
    border: 1px solid #d8cfa3;
}

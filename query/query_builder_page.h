#pragma once
// The "Query Builder" page of the main window: the field list, the operator
// and target choices, the two statements of three term boxes each, the
// Boolean choice and the condition text in "Query Parameters".
#include <QWidget>
#include <functional>
#include <vector>

#include "query/core/statement_builder.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QCheckBox;
class QPushButton;

namespace tarnel {
struct FieldDef;
class TDateSpin;
class TRadioGroup;
}

namespace tarnel::query {

class TQueryBuilderPage : public QWidget {
    Q_OBJECT

public:
    explicit TQueryBuilderPage(QWidget* parent = nullptr);

    // The open table's fields in table order: fills "Fields" and selects the
    // first name. FieldTypeDis keeps its text until the user picks a field.
    void setFields(const BuilderFields& fields);
    void setFields(const std::vector<FieldDef>& fields);
    // Closing the table: the six term boxes are emptied (and with them the
    // condition), then the field list.
    void resetSession();
    // The condition text, as the user last saw or typed it.
    QString queryText() const;
    const BuilderFields& fields() const { return fields_; }

    // The name shown after " Type:" for a field type ordinal.
    void setTypeNameFunction(std::function<QString(int type)> typeName)
    {
        typeName_ = std::move(typeName);
    }

    // The page's controls, named as on the form.
    QListWidget* FieldList1;
    QLabel* FieldTypeDis;
    TRadioGroup* OperatorRadio;
    TRadioGroup* TargetRadio;
    QCheckBox* QuoteChk;
    TDateSpin* DateSpin;
    QPushButton* Term1Btn;
    QLineEdit* Term1Edit;
    QPushButton* Op1Btn;
    QLineEdit* Op1Edit;
    QPushButton* Term2Btn;
    QLineEdit* Term2Edit;
    TRadioGroup* BooleanRadio;
    QPushButton* ClearAllBtn;
    QPushButton* Term3Btn;
    QLineEdit* Term3Edit;
    QPushButton* Op2Btn;
    QLineEdit* Op2Edit;
    QPushButton* Term4Btn;
    QLineEdit* Term4Edit;
    QLineEdit* QueryEdit;

public slots:
    void FieldList1Click();
    void Term1BtnClick();
    void Term3BtnClick();
    void Op1BtnClick();
    void Op2BtnClick();
    void Term2BtnClick();
    void Term4BtnClick();
    void Term1EditChange();
    void ClearAllBtnClick();

private:
    QString OperatorText() const;
    QString TargetText() const;
    QString BuildCondition() const;
    QString selectedFieldName() const;
    void buildLayout();

    BuilderFields fields_;
    std::function<QString(int)> typeName_;
};

} // namespace tarnel::query

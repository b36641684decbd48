#include "export/export_mapping.h"

namespace valtrix {
namespace {

using enum Conversion;
using enum FormRule;

// AprSubj -> subject keys, in write order.
constexpr ExportStep kSubject[] = {
    {"CaseNumber", "CLIENT_CASE_NUMBER.1", kText},
    {"FileNumber", "FORM_FILE_NUMBER.1", kText},
    {"S_ADDRESS", "SUBJ_PROPERTY_ADDRESS.1", kText},
    {"S_UNITNUM", "UNIT_NUMBER.1", kText},
    {"S_CITY", "CITY.1", kText},
    {"S_STATE", "STATE.1", kText},
    {"S_Zip", "ZIP_CODE.1", kText},
    {"S_LEGAL", "LEGAL_DESCRIPTION.1", kText},
    {"S_COUNTY", "COUNTY.1", kText},
    {"S_PARCEL", "ASSESSORS_PARCEL_NUMBER.1", kText},
    {"S_TAXYEAR", "TAX_YEAR.1", kText},
    {"S_TAXES", "REAL_ESTATE_TAXES.1", kText},
    {"S_ASSESS", "SPECIAL_ASSESSMENTS.1", kText},
    {"S_BORROWER", "BORROWER_NAME.1", kText},
    {"S_OWNER", "CURRENT_OWNER_NAME.1", kText},
    {"S_OCCOWNER", "OCCUPANT_OWNER_X.1", kCheck},
    {"S_OCCTENAN", "OCCUPANT_TENANT_X.1", kCheck},
    {"S_OCCVACAN", "OCCUPANT_VACANT_X.1", kCheck},
    {"S_RIGHTFEE", "PRA_FEE_SIMPLE_X.1", kCheck},
    {"S_RIGHTLEA", "PRA_LEASE_HOLD_X.1", kCheck},
    {"S_TYPEPUD", "PROJECT_TYPE_PUD_X.1", kCheck},
    {"S_TYPCONDO", "PROJECT_TYPE_CONDO_X.1", kCheck},
    {"S_TYPEPUD", "PROP_TYPE_PUD_X.1", kCheck},
    {"S_TYPCONDO", "PROP_TYPE_CONDO_X.1", kCheck},
    {"S_HOA", "HOA_FEES.1", kText},
    {"S_HOODNAME", "PROJECT_NAME.1", kText},
    {"S_MAPREF", "MAP_REFERENCE.1", kText},
    {"S_CENSUS", "CENSUS_TRACT.1", kText},
    {"S_SALEPRIC", "SALE_PRICE.1", kText},
    {"S_SALEDATE", "DATE_OF_SALE.1", kText},
    {"S_CONCESS", "LOAN_CONCESSIONS.1", kText},
    {"S_LENCLI", "LENDER_CLIENT_NAME.1", kText},
    {"S_LCADDR", "LENDER_CLIENT_ADDRESS.1", kText},
    {"S_APPRAISR", "APPRAISER_NAME.1", kText},
    {"S_APPRADDR", "APPRAISER_ADDRESS.1", kText},
    {"S_BORPHONE", "RESIDENTS_PHONE_NUMBER.1", kText},
    {"S_LOANAMT", "LOAN_AMOUNT_REQUESTED.1", kText},
    {"S_LOANTERM", "LOAN_TERM.1", kText},
    {"S_OWNEREST", "OWNERS_ESTIMATE_OF_VALUE.1", kText},
    {"S_TYPESF", "PROP_TYPE_SINGLE_FAM_X.1", kCheck},
    {"S_TYPE2TO4", "PROP_TYPE_2TO4_FAMILY_X.1", kCheck},
    {"APRNOTES", "APPRAISER_NOTES.1", kText},
};

}  // namespace

std::span<const ExportStep> SubjectMap() { return kSubject; }

}  // namespace valtrix

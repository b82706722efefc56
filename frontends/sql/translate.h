// frontends/sql/translate.h: the expression trees, bindings and scope tables
// of the SQL reader, and the steps that turn one SELECT block into one rule.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/atom.h"

namespace veltra {

// Operator codes of SSC_Operator. The comparisons other than "=" carry their
// scanner values 1 to 5; they are read but refused when evaluated.
enum : int32_t {
    SQL_EQUALS = 0,
    SQL_NOTEQUAL = 1,
    SQL_LESS = 2,
    SQL_GREATER = 3,
    SQL_LESSEQUAL = 4,
    SQL_GREATEREQUAL = 5,
    SQL_OR = 6,
    SQL_AND = 7,
    SQL_NOT = 8,
    SQL_PLUS = 9,
    SQL_MINUS = 10,
    SQL_TIMES = 11,
    SQL_DIVIDE = 12,
    SQL_NEGATE = 13
};

enum : int32_t { SSC_RELSPEC = 0, SSC_OPERATOR = 1 };

class SSC_Node {
public:
    int32_t nodeType;  // SSC_RELSPEC or SSC_OPERATOR

    explicit SSC_Node(int32_t type) : nodeType(type) {}
    SSC_Node(const SSC_Node&) = delete;
    SSC_Node& operator=(const SSC_Node&) = delete;
    // The select-list step for a select item whose tree has this node at its root.
    virtual void addToSelectList() = 0;
    virtual ~SSC_Node() = default;
};

class SSC_Operator : public SSC_Node {
public:
    int32_t op;  // SQL_EQUALS .. SQL_NEGATE

    explicit SSC_Operator(int32_t code) : SSC_Node(SSC_OPERATOR), op(code) {}
    void addToSelectList() override;  // refuses: no expressions in select lists
};

// A column reference; correlation "" when unqualified, "*" for "SELECT *".
class SSC_RelSpec : public SSC_Node {
public:
    std::string correlation;
    std::string attribute;

    SSC_RelSpec(std::string c, std::string a) : SSC_Node(SSC_RELSPEC), correlation(std::move(c)), attribute(std::move(a)) {}
    void addToSelectList() override;
};

// One position of an expression tree. All three null: the empty tree (no
// WHERE clause, or a numeric literal). Unary operators use left only.
// Release is iterative, so that deep trees cannot exhaust the stack.
struct SSC_Tree {
    std::unique_ptr<SSC_Node> node;
    std::unique_ptr<SSC_Tree> left;
    std::unique_ptr<SSC_Tree> right;

    SSC_Tree() = default;
    explicit SSC_Tree(SSC_Node* n, SSC_Tree* l = nullptr, SSC_Tree* r = nullptr) : node(n), left(l), right(r) {}
    SSC_Tree(const SSC_Tree&) = delete;
    SSC_Tree& operator=(const SSC_Tree&) = delete;
    ~SSC_Tree();
};

using SQLSELECTLIST = std::vector<std::unique_ptr<SSC_Tree>>;

// The value of one attribute of one correlation in the rule being built.
struct BINDING {
    int32_t variable = 0;  // variable number when isVariable
    std::string constant;  // the constant otherwise
    bool isVariable = true;
};

struct NAMEGENERATOR {
    std::string prefix;
    int32_t counter = 0;  // the number of the next name

    std::string freshName() { return prefix + std::to_string(counter++); }
};

// The scope tables. Keys are ordered byte-wise; vectors keep entering order.
extern std::map<std::string, std::vector<std::string>> sqlSchemas;             // relation: attributes
extern std::map<std::string, std::vector<std::string>> sqlAttributeRelations;  // attribute: relations
extern std::map<std::string, std::string> sqlCorrelations;                      // correlation: relation
extern std::map<std::string, std::vector<std::string>> sqlRelationCorrelations;
// Entries never move while a block is translated: sqlSelectList points into it.
extern std::map<std::string, std::map<std::string, BINDING>> sqlBindings;
extern std::vector<BINDING*> sqlSelectList;
extern std::vector<std::string> sqlResultNames;  // top: head predicate of the blocks being read
extern NAMEGENERATOR sqlInternNames;             // "sql2dl__intern0", ...
extern NAMEGENERATOR sqlVariableNames;           // counter: the next fresh variable

// Start and end of one file: empty tables, the first result name pushed.
void openSQLScope();
void closeSQLScope();

// Translation steps (each error ends the run with its status).
void registerCorrelation(const std::string& correlation, const std::string& relation);
std::string resolveAttribute(const std::string& attribute);
BINDING* findBinding(const std::string& correlation, const std::string& attribute);
void registerBinding(const std::string& correlation, const std::string& attribute, const BINDING& binding);
void unifyBindings(BINDING& a, BINDING& b);
void substituteVariable(int32_t variable, const BINDING& replacement);
BINDING& evalScalar(const SSC_Tree& tree);
void evalCondition(const SSC_Tree& tree);
void evalWhereClause(const SSC_Tree& tree);
ATOM buildHeadFromSelectList(const std::string& name);
void buildBodyLiterals(const std::string& correlation, CONJUNCTION& body);
void emitQueryRule(const std::string& name);
void printStatementPosition();

// The block action of one SELECT block: select list, WHERE condition, the
// rule for the top of sqlResultNames, then the block's scope is emptied.
void translateSelectBlock(const SQLSELECTLIST& selectList, const SSC_Tree& where);

// Declarations: a relation's attributes; a WITH element entered before its
// query is read and left after it.
void declareRelation(const std::string& relation, const std::vector<std::string>& attributes);
void enterWithElement(const std::string& name, const std::vector<std::string>& columns);
void leaveWithElement();

// A construct the translation cannot express: the statement position, "Error: ",
// the message and ".", then status 4.
[[noreturn]] void refuseUnsupported(const char* message);

}  // namespace veltra

// The parser's and the scanner's error report (counted as a parse error).
void sqlyyerror(const char* message);

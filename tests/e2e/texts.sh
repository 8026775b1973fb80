# Texts of the program that the end-to-end tests look for on the screen.
# shellcheck disable=SC2034
TITLE="瞰市"
SOFT_EXIT="退出"
SOFT_MENU="菜单"
H_NAME="名称"
H_LATEST="最新"
H_CHANGE="涨跌"
H_SELL="目标(卖)"
MENU_TOP=("提醒设置" "增加自选股" "删除自选股" "个股明细" "大盘指数" "服务" "上网流量" "系统设置" "手动刷新")
MENU_SERVICE=("瞰市荐股" "版本更新" "注意事项" "关于瞰市")
MENU_SYSTEM=("刷新频率" "背景颜色")
EXIT_CONFIRM="确实要退出吗？"
DELETE_PREFIX="确实要删除【"
REFRESHING="正在刷新"

<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>BundleTexts</name>
    <message>
        <source>DSP</source>
        <translation>DSP</translation>
    </message>
    <message>
        <source>MCU</source>
        <translation>MCU</translation>
    </message>
    <message>
        <source>version</source>
        <translation>版本</translation>
    </message>
    <message>
        <source>version %1</source>
        <translation>版本 %1</translation>
    </message>
    <message>
        <source>%1 %2/%3</source>
        <translation>%1 %2/%3</translation>
    </message>
    <message>
        <source>unsigned</source>
        <translation>未签名</translation>
    </message>
    <message>
        <source>signed by %1</source>
        <translation>由 %1 签名</translation>
    </message>
</context>
<context>
    <name>CAutoStartChoice</name>
    <message>
        <source>&amp;Auto-start</source>
        <translation>自动开始(&amp;A)</translation>
    </message>
    <message>
        <source>when an adapter is plugged in</source>
        <translation>插入适配器时</translation>
    </message>
    <message>
        <source>A slot starts the operation by itself when a device is plugged into it. It runs again only after its device was unplugged and a device plugged in.</source>
        <translation>设备插入槽位时，槽位自动开始操作。只有在设备拔出并重新插入设备之后，槽位才会再次运行。</translation>
    </message>
    <message>
        <source>when a board answers</source>
        <translation>电路板应答时</translation>
    </message>
    <message>
        <source>Fixture mode, for adapters that stay while the boards change: each idle slot keeps its port open and asks for the version about once a second. A slot starts when a board answers, and again only after that board was taken out.</source>
        <translation>治具模式，用于适配器保持连接、只更换电路板的场合：每个空闲槽位保持端口打开，约每秒查询一次版本。电路板应答时槽位开始运行；只有该电路板被取出后，槽位才会再次开始。</translation>
    </message>
</context>
<context>
    <name>CBundleBox</name>
    <message>
        <source>not in the bundle</source>
        <translation>不在发布包中</translation>
    </message>
    <message>
        <source>checking…</source>
        <translation>正在检查…</translation>
    </message>
    <message>
        <source>refused</source>
        <translation>被拒绝</translation>
    </message>
    <message>
        <source>%1, release %2, %3</source>
        <translation>%1，发布版本 %2，%3</translation>
    </message>
    <message>
        <source>%1: refused</source>
        <translation>%1：被拒绝</translation>
    </message>
    <message>
        <source>Release bundle</source>
        <translation>发布包</translation>
    </message>
    <message>
        <source>Bundle:</source>
        <translation>发布包：</translation>
    </message>
    <message>
        <source>Open &amp;bundle…</source>
        <translation>打开发布包(&amp;B)…</translation>
    </message>
    <message>
        <source>&amp;Close bundle</source>
        <translation>关闭发布包(&amp;C)</translation>
    </message>
    <message>
        <source>Release:</source>
        <translation>发布：</translation>
    </message>
    <message>
        <source>Steps:</source>
        <translation>步骤：</translation>
    </message>
    <message>
        <source>Locked: the bundle, the operation, the results file and the work order were set when the station was started.</source>
        <translation>已锁定：发布包、操作、结果文件和工单在工作站启动时已经设定。</translation>
    </message>
</context>
<context>
    <name>CBundleCheck</name>
    <message>
        <source>The bundle is still being checked.</source>
        <translation>发布包仍在检查中。</translation>
    </message>
    <message>
        <source>The bundle is refused: %1</source>
        <translation>发布包被拒绝：%1</translation>
    </message>
    <message>
        <source>tovrane-cli --check-bundle gave no verdict on the bundle</source>
        <translation>tovrane-cli --check-bundle 没有给出对发布包的结论</translation>
    </message>
</context>
<context>
    <name>CCheckChild</name>
    <message>
        <source>tovrane-cli could not be started: %1</source>
        <translation>无法启动 tovrane-cli：%1</translation>
    </message>
    <message>
        <source>%1 wrote more than %2 KiB</source>
        <translation>%1 输出超过 %2 KiB</translation>
    </message>
    <message>
        <source>%1 ended abnormally</source>
        <translation>%1 异常结束</translation>
    </message>
    <message>
        <source>%1 took longer than %2 s</source>
        <translation>%1 用时超过 %2 秒</translation>
    </message>
</context>
<context>
    <name>CChildRun</name>
    <message>
        <source>stderr: %1</source>
        <translation>标准错误输出：%1</translation>
    </message>
    <message>
        <source>Not a line of tovrane-cli: %1</source>
        <translation>不是 tovrane-cli 的输出行：%1</translation>
    </message>
    <message>
        <source>tovrane-cli wrote nothing for %1 s: stopping it.</source>
        <translation>tovrane-cli 已有 %1 秒没有输出：正在停止它。</translation>
    </message>
</context>
<context>
    <name>CFailureParetoModel</name>
    <message>
        <source>Outcome</source>
        <translation>结果</translation>
    </message>
    <message>
        <source>Failures</source>
        <translation>失败次数</translation>
    </message>
    <message>
        <source>Share</source>
        <translation>占比</translation>
    </message>
    <message>
        <source>Cumulative</source>
        <translation>累计占比</translation>
    </message>
</context>
<context>
    <name>CImageFolderCheck</name>
    <message>
        <source>The images are still being checked.</source>
        <translation>仍在检查映像文件。</translation>
    </message>
    <message>
        <source>%1 is refused: %2</source>
        <translation>%1 被拒绝：%2</translation>
    </message>
    <message>
        <source>There is no dsp.hex in %1.</source>
        <translation>%1 中没有 dsp.hex。</translation>
    </message>
    <message>
        <source>There is neither mcu_old.mot nor mcu_new.mot in %1.</source>
        <translation>%1 中既没有 mcu_old.mot 也没有 mcu_new.mot。</translation>
    </message>
</context>
<context>
    <name>COperatorFields</name>
    <message>
        <source>&amp;Operator:</source>
        <translation>操作员(&amp;O)：</translation>
    </message>
    <message>
        <source>&amp;Work order:</source>
        <translation>工单(&amp;W)：</translation>
    </message>
</context>
<context>
    <name>CSlotLogDialog</name>
    <message>
        <source>Log of slot %1</source>
        <translation>槽位 %1 的日志</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>复制(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Save…</source>
        <translation>保存(&amp;S)…</translation>
    </message>
    <message>
        <source>Save the log</source>
        <translation>保存日志</translation>
    </message>
    <message>
        <source>Log files (*.log *.txt);;All files (*)</source>
        <translation>日志文件 (*.log *.txt);;所有文件 (*)</translation>
    </message>
    <message>
        <source>The log could not be saved to %1: %2</source>
        <translation>无法将日志保存到 %1：%2</translation>
    </message>
</context>
<context>
    <name>CSlotModel</name>
    <message>
        <source>%1 s</source>
        <translation>%1 秒</translation>
    </message>
    <message>
        <source>old</source>
        <translation>旧</translation>
    </message>
    <message>
        <source>new</source>
        <translation>新</translation>
    </message>
    <message>
        <source>no device</source>
        <translation>无设备</translation>
    </message>
    <message>
        <source>usable</source>
        <translation>可用</translation>
    </message>
    <message>
        <source>busy</source>
        <translation>占用</translation>
    </message>
    <message>
        <source>no permission</source>
        <translation>无权限</translation>
    </message>
    <message>
        <source>unavailable</source>
        <translation>不可用</translation>
    </message>
    <message>
        <source>Slot</source>
        <translation>槽位</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>端口</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>设备</translation>
    </message>
    <message>
        <source>State</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>进度</translation>
    </message>
    <message>
        <source>Blocks</source>
        <translation>块</translation>
    </message>
    <message>
        <source>Speed</source>
        <translation>速度</translation>
    </message>
    <message>
        <source>Remaining</source>
        <translation>剩余</translation>
    </message>
    <message>
        <source>Loader</source>
        <translation>加载程序</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>结果</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>用时</translation>
    </message>
    <message>
        <source>%1, serial %2</source>
        <translation>%1，序列号 %2</translation>
    </message>
    <message>
        <source>running</source>
        <translation>运行中</translation>
    </message>
    <message>
        <source>%1%</source>
        <translation>%1%</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 / %2</translation>
    </message>
    <message>
        <source>%1 blocks/s</source>
        <translation>%1 块/秒</translation>
    </message>
    <message>
        <source>saving the result…</source>
        <translation>正在保存结果…</translation>
    </message>
    <message>
        <source>waiting for a board</source>
        <translation>等待电路板</translation>
    </message>
    <message>
        <source>done, take the board out</source>
        <translation>完成，请取出电路板</translation>
    </message>
    <message>
        <source>probing stopped</source>
        <translation>探测已停止</translation>
    </message>
    <message>
        <source>%1  %2%</source>
        <translation>%1  %2%</translation>
    </message>
</context>
<context>
    <name>CSlotYieldModel</name>
    <message>
        <source>%1 s</source>
        <translation>%1 秒</translation>
    </message>
    <message>
        <source>%1 %</source>
        <translation>%1%</translation>
    </message>
    <message>
        <source>Slot</source>
        <translation>槽位</translation>
    </message>
    <message>
        <source>Runs</source>
        <translation>运行次数</translation>
    </message>
    <message>
        <source>Passed</source>
        <translation>通过</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>First-pass yield</source>
        <translation>直通率</translation>
    </message>
    <message>
        <source>Median duration</source>
        <translation>用时中位数</translation>
    </message>
    <message>
        <source>Flag</source>
        <translation>警示</translation>
    </message>
    <message>
        <source>check this slot&apos;s cable or fixture</source>
        <translation>请检查此槽位的线缆或治具</translation>
    </message>
    <message>
        <source>%1 of %2 boards passed at their first attempt</source>
        <translation>%2 块电路板中有 %1 块首次即通过</translation>
    </message>
    <message>
        <source>No run of this slot has an attempt number (stored by an older Tovrane)</source>
        <translation>此槽位的运行记录均无尝试次数（由旧版 Tovrane 保存）</translation>
    </message>
</context>
<context>
    <name>CStation</name>
    <message>
        <source>given with --port</source>
        <translation>由 --port 指定</translation>
    </message>
    <message>
        <source>tovrane-cli was not found at %1; it belongs beside tovrane-station. Reinstall Tovrane.</source>
        <translation>在 %1 找不到 tovrane-cli；它应与 tovrane-station 在同一目录。请重新安装 Tovrane。</translation>
    </message>
    <message>
        <source>Slot %1 has no device to start.</source>
        <translation>槽位 %1 没有可启动的设备。</translation>
    </message>
    <message>
        <source>No slot has a usable device to start.</source>
        <translation>没有槽位有可用的设备可以启动。</translation>
    </message>
    <message>
        <source>%1 (not stored)</source>
        <translation>%1（未保存）</translation>
    </message>
    <message>
        <source>starting…</source>
        <translation>正在启动…</translation>
    </message>
    <message>
        <source>Board answered: %1</source>
        <translation>电路板已应答：%1</translation>
    </message>
    <message>
        <source>board present, starting</source>
        <translation>电路板已就位，正在启动</translation>
    </message>
</context>
<context>
    <name>CStationWindow</name>
    <message>
        <source>checking…</source>
        <translation>正在检查…</translation>
    </message>
    <message>
        <source>missing</source>
        <translation>缺失</translation>
    </message>
    <message>
        <source>refused: %1</source>
        <translation>被拒绝：%1</translation>
    </message>
    <message>
        <source>%1 blocks, checkpoint %2, SHA-256 %3…, accepted</source>
        <translation>%1 块，校验点 %2，SHA-256 %3…，已接受</translation>
    </message>
    <message>
        <source>yes</source>
        <translation>有</translation>
    </message>
    <message>
        <source>no</source>
        <translation>无</translation>
    </message>
    <message>
        <source>Tovrane Station</source>
        <translation>Tovrane 工作站</translation>
    </message>
    <message>
        <source>Images</source>
        <translation>映像文件</translation>
    </message>
    <message>
        <source>C&amp;hoose…</source>
        <translation>选择(&amp;H)…</translation>
    </message>
    <message>
        <source>Folder:</source>
        <translation>文件夹：</translation>
    </message>
    <message>
        <source>Operation</source>
        <translation>操作</translation>
    </message>
    <message>
        <source>Update &amp;MCU</source>
        <translation>更新 MCU(&amp;M)</translation>
    </message>
    <message>
        <source>Update &amp;DSP</source>
        <translation>更新 DSP(&amp;D)</translation>
    </message>
    <message>
        <source>Read &amp;Version</source>
        <translation>读取版本(&amp;V)</translation>
    </message>
    <message>
        <source>Require &amp;verification</source>
        <translation>要求校验(&amp;V)</translation>
    </message>
    <message>
        <source>All &amp;ports</source>
        <translation>所有端口(&amp;P)</translation>
    </message>
    <message>
        <source>Also list on-board serial ports (ttyS, ttyAMA).</source>
        <translation>同时列出板载串口（ttyS、ttyAMA）。</translation>
    </message>
    <message>
        <source>Choose &amp;file…</source>
        <translation>选择文件(&amp;F)…</translation>
    </message>
    <message>
        <source>Results file:</source>
        <translation>结果文件：</translation>
    </message>
    <message>
        <source>&amp;Start</source>
        <translation>开始(&amp;S)</translation>
    </message>
    <message>
        <source>S&amp;top</source>
        <translation>停止(&amp;T)</translation>
    </message>
    <message>
        <source>&amp;Log…</source>
        <translation>日志(&amp;L)…</translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation>移除(&amp;R)</translation>
    </message>
    <message>
        <source>Start &amp;all</source>
        <translation>全部开始(&amp;A)</translation>
    </message>
    <message>
        <source>Stop a&amp;ll</source>
        <translation>全部停止(&amp;L)</translation>
    </message>
    <message>
        <source>R&amp;eset counters</source>
        <translation>计数清零(&amp;E)</translation>
    </message>
    <message>
        <source>The operation cannot start: %1</source>
        <translation>无法开始操作：%1</translation>
    </message>
    <message>
        <source>Passed: %1    Failed: %2    Running: %3</source>
        <translation>通过：%1    失败：%2    运行中：%3</translation>
    </message>
    <message>
        <source>Images folder</source>
        <translation>映像文件夹</translation>
    </message>
    <message>
        <source>Results file</source>
        <translation>结果文件</translation>
    </message>
    <message>
        <source>JSON Lines (*.jsonl);;All files (*)</source>
        <translation>JSON Lines (*.jsonl);;所有文件 (*)</translation>
    </message>
    <message numerus="yes">
        <source>%n device(s) are still being flashed. Stop them and quit?</source>
        <translation>
            <numerusform>仍有 %n 台设备正在烧写。停止它们并退出吗？</numerusform>
        </translation>
    </message>
    <message>
        <source>Stopping every run and storing its result…</source>
        <translation>正在停止所有运行并保存结果…</translation>
    </message>
    <message>
        <source>System &amp;journal</source>
        <translation>系统日志(&amp;J)</translation>
    </message>
    <message>
        <source>Also send every stored result to the system journal, where journalctl shows it and systemd-journal-upload can gather it from many stations.</source>
        <translation>同时将每条保存的结果发送到系统日志：journalctl 可以查看，systemd-journal-upload 可以从多台工作站汇集。</translation>
    </message>
    <message>
        <source>&amp;Yield…</source>
        <translation>良率(&amp;Y)…</translation>
    </message>
    <message>
        <source>Open &amp;bundle…</source>
        <translation>打开发布包(&amp;B)…</translation>
    </message>
    <message>
        <source>Release bundle</source>
        <translation>发布包</translation>
    </message>
    <message>
        <source>Tovrane Station (locked)</source>
        <translation>Tovrane 工作站（已锁定）</translation>
    </message>
    <message>
        <source>Open bundle</source>
        <translation>打开发布包</translation>
    </message>
    <message>
        <source>Release bundles (*.tar *.tar.gz *.tgz);;All files (*)</source>
        <translation>发布包 (*.tar *.tar.gz *.tgz);;所有文件 (*)</translation>
    </message>
</context>
<context>
    <name>CYieldChart</name>
    <message>
        <source>Runs per slot</source>
        <translation>各槽位运行次数</translation>
    </message>
    <message>
        <source>Passed</source>
        <translation>通过</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>失败</translation>
    </message>
</context>
<context>
    <name>CYieldDialog</name>
    <message>
        <source>Yield</source>
        <translation>良率</translation>
    </message>
    <message>
        <source>Since the station started</source>
        <translation>自工作站启动以来</translation>
    </message>
    <message>
        <source>Today</source>
        <translation>今天</translation>
    </message>
    <message>
        <source>The last 8 hours</source>
        <translation>最近 8 小时</translation>
    </message>
    <message>
        <source>All</source>
        <translation>全部</translation>
    </message>
    <message>
        <source>All work orders</source>
        <translation>所有工单</translation>
    </message>
    <message>
        <source>&amp;Period:</source>
        <translation>时段(&amp;P)：</translation>
    </message>
    <message>
        <source>&amp;Work order:</source>
        <translation>工单(&amp;W)：</translation>
    </message>
    <message>
        <source>&amp;Refresh</source>
        <translation>刷新(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Export CSV…</source>
        <translation>导出 CSV(&amp;E)…</translation>
    </message>
    <message>
        <source>Failures by outcome</source>
        <translation>按结果统计的失败</translation>
    </message>
    <message>
        <source>Reading the results file…</source>
        <translation>正在读取结果文件…</translation>
    </message>
    <message>
        <source>%1 runs: %2 passed, %3 failed.</source>
        <translation>共 %1 次运行：%2 次通过，%3 次失败。</translation>
    </message>
    <message>
        <source>First-pass yield %1, median of the slots %2.</source>
        <translation>直通率 %1，各槽位中位数 %2。</translation>
    </message>
    <message numerus="yes">
        <source>%n lines could not be read</source>
        <translation>
            <numerusform>%n 行无法读取</numerusform>
        </translation>
    </message>
    <message>
        <source>(none)</source>
        <translation>（无）</translation>
    </message>
    <message>
        <source>Export CSV</source>
        <translation>导出 CSV</translation>
    </message>
    <message>
        <source>CSV files (*.csv);;All files (*)</source>
        <translation>CSV 文件 (*.csv);;所有文件 (*)</translation>
    </message>
    <message>
        <source>Writing %1…</source>
        <translation>正在写入 %1…</translation>
    </message>
    <message numerus="yes">
        <source>%n run(s) written to %1.</source>
        <translation>
            <numerusform>已将 %n 次运行写入 %1。</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CsvExport</name>
    <message>
        <source>Cannot write the CSV file %1: %2. Choose another name.</source>
        <translation>无法写入 CSV 文件 %1：%2。请换一个文件名。</translation>
    </message>
    <message>
        <source>The CSV file %1 is the results file. Choose another name.</source>
        <translation>CSV 文件 %1 就是结果文件。请换一个文件名。</translation>
    </message>
</context>
<context>
    <name>CsvExportCommand</name>
    <message numerus="yes">
        <source>%n lines could not be read</source>
        <translation>
            <numerusform>%n 行无法读取</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n run(s) from %1 written to %2</source>
        <translation>
            <numerusform>已将 %1 中的 %n 次运行写入 %2</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ResultJournal</name>
    <message>
        <source>The system journal did not take a result (%1): results go to the results file only.</source>
        <translation>系统日志未接收结果（%1）：结果只写入结果文件。</translation>
    </message>
    <message>
        <source>There is no system journal here: results go to the results file only.</source>
        <translation>本机没有系统日志：结果只写入结果文件。</translation>
    </message>
    <message>
        <source>The system journal is not taking results: they go to the results file only.</source>
        <translation>系统日志不接收结果：结果只写入结果文件。</translation>
    </message>
</context>
<context>
    <name>ResultsFile</name>
    <message>
        <source>Cannot write the results file %1: %2. Choose another results file.</source>
        <translation>无法写入结果文件 %1：%2。请选择另一个结果文件。</translation>
    </message>
    <message>
        <source>No results file is chosen. Choose one.</source>
        <translation>尚未选择结果文件。请选择一个。</translation>
    </message>
    <message>
        <source>Cannot make the folder of the results file %1. Choose another results file.</source>
        <translation>无法创建结果文件 %1 所在的文件夹。请选择另一个结果文件。</translation>
    </message>
    <message>
        <source>The results file %1 is not a regular file. Choose another results file.</source>
        <translation>结果文件 %1 不是普通文件。请选择另一个结果文件。</translation>
    </message>
</context>
<context>
    <name>ResultsReader</name>
    <message>
        <source>Cannot read the results file %1: %2.</source>
        <translation>无法读取结果文件 %1：%2。</translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation>不是普通文件</translation>
    </message>
</context>
<context>
    <name>RunVerdict</name>
    <message>
        <source>tovrane-cli could not be started: %1</source>
        <translation>无法启动 tovrane-cli：%1</translation>
    </message>
    <message>
        <source>tovrane-cli wrote nothing for too long and was stopped</source>
        <translation>tovrane-cli 太久没有输出，已被停止</translation>
    </message>
    <message>
        <source>tovrane-cli was killed by signal %1 (%2)</source>
        <translation>tovrane-cli 被信号 %1（%2）终止</translation>
    </message>
    <message>
        <source>tovrane-cli wrote a line that is not JSON: %1</source>
        <translation>tovrane-cli 输出了不是 JSON 的一行：%1</translation>
    </message>
    <message>
        <source>tovrane-cli ended without a result (exit status %1)</source>
        <translation>tovrane-cli 结束时没有给出结果（退出状态 %1）</translation>
    </message>
    <message>
        <source>tovrane-cli wrote more after its result</source>
        <translation>tovrane-cli 在结果之后还有输出</translation>
    </message>
    <message>
        <source>tovrane-cli reported %1 but exited with status %2</source>
        <translation>tovrane-cli 报告 %1，但退出状态为 %2</translation>
    </message>
    <message>
        <source>the update finished without verification, which is required</source>
        <translation>更新已完成但未经校验，而校验是必需的</translation>
    </message>
    <message>
        <source>passed</source>
        <translation>通过</translation>
    </message>
    <message>
        <source>write failed</source>
        <translation>写入失败</translation>
    </message>
    <message>
        <source>verification failed</source>
        <translation>校验失败</translation>
    </message>
    <message>
        <source>connection failed</source>
        <translation>连接失败</translation>
    </message>
    <message>
        <source>no loader answered</source>
        <translation>没有加载程序应答</translation>
    </message>
    <message>
        <source>image missing</source>
        <translation>映像文件缺失</translation>
    </message>
    <message>
        <source>image refused</source>
        <translation>映像文件被拒绝</translation>
    </message>
    <message>
        <source>port could not be opened</source>
        <translation>无法打开端口</translation>
    </message>
    <message>
        <source>port setup failed</source>
        <translation>端口设置失败</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>已停止</translation>
    </message>
    <message>
        <source>tool error: %1</source>
        <translation>工具错误：%1</translation>
    </message>
    <message>
        <source>tool error</source>
        <translation>工具错误</translation>
    </message>
    <message>
        <source>version mismatch</source>
        <translation>版本不符</translation>
    </message>
    <message>
        <source>bundle refused</source>
        <translation>发布包被拒绝</translation>
    </message>
</context>
<context>
    <name>StationApp</name>
    <message>
        <source>Try &apos;tovrane-station --help&apos;.</source>
        <translation>请尝试 &apos;tovrane-station --help&apos;。</translation>
    </message>
</context>
<context>
    <name>StationOptions</name>
    <message>
        <source>unknown argument &apos;%1&apos;</source>
        <translation>未知参数 &apos;%1&apos;</translation>
    </message>
    <message>
        <source>--%1 needs a value</source>
        <translation>--%1 需要一个值</translation>
    </message>
    <message>
        <source>--operation takes dsp, mcu or version, not &apos;%1&apos;</source>
        <translation>--operation 只能是 dsp、mcu 或 version，而不是 &apos;%1&apos;</translation>
    </message>
    <message>
        <source>--auto-start takes plug or answer, not &apos;%1&apos;</source>
        <translation>--auto-start 只能是 plug 或 answer，而不是 &apos;%1&apos;</translation>
    </message>
    <message>
        <source>--since goes with --export-csv</source>
        <translation>--since 只能与 --export-csv 一起使用</translation>
    </message>
    <message>
        <source>--since takes a time such as 2026-12-08T06:00 or a date such as 2026-12-08, not &apos;%1&apos;</source>
        <translation>--since 需要时间（如 2026-12-08T06:00）或日期（如 2026-12-08），而不是 &apos;%1&apos;</translation>
    </message>
    <message>
        <source>--quit-when-done has no meaning in fixture mode (auto-start when a board answers), where the station runs until it is ended; give --auto-start=plug for a batch</source>
        <translation>--quit-when-done 在治具模式（电路板应答时自动开始）下没有意义，此时工作站会一直运行直到被结束；批量烧写请使用 --auto-start=plug</translation>
    </message>
    <message>
        <source>--locked needs --bundle</source>
        <translation>--locked 需要 --bundle</translation>
    </message>
    <message>
        <source>--operation does not go with --bundle, whose steps are the operation</source>
        <translation>--operation 不能与 --bundle 一起使用，发布包的步骤就是操作</translation>
    </message>
    <message>
        <source>--require-verify does not go with --bundle, whose manifest says whether it is required</source>
        <translation>--require-verify 不能与 --bundle 一起使用，是否要求校验由发布包的清单决定</translation>
    </message>
    <message>
        <source>Usage: tovrane-station [OPTION]...
  or:  tovrane-station --help | --version

Flashes many devices at once, one slot a serial port. Each slot&apos;s run is a
tovrane-cli child process (the one beside tovrane-station), so one device&apos;s
fault never reaches another. A slot is a physical place: the USB port an
adapter is plugged into (a re-plugged adapter comes back to its row), or a
path given with --port. A slot passes only when its run finished (or read the
version), verified when verification is required; with a release bundle, only
when every step of the bundle passed and the device then reported the release&apos;s
version.

  --images DIR          where dsp.hex, mcu_old.mot and mcu_new.mot are
                        (default: the folder used last, at first start the
                        folder of the programs)
  --bundle FILE         open a release bundle (a tar archive or a folder, made
                        with tovrane-cli --make-bundle): its steps are the
                        operation and it holds the images (default: the bundle
                        open when the station was last used, unless --operation
                        or --require-verify is given)
  --allowed-signers FILE
                        the trust file (OpenSSH allowed_signers format) every
                        bundle&apos;s signature must verify against; without it
                        /etc/tovrane/allowed_signers when that file exists,
                        otherwise signatures are not checked
  --locked              keep the operator from changing the bundle, the
                        operation, the results file and the work order, for a
                        line&apos;s start-up script (needs --bundle)
  --port PATH           add a slot for PATH, for example a pseudo-terminal or a
                        /dev/serial/by-id link (repeatable)
  --operation OP        dsp, mcu or version: Update DSP, Update MCU or Read
                        Version (default: the one used last)
  --require-verify      refuse images without a checkpoint record, and pass a
                        slot only when its flash was verified
  --results FILE        append one JSON line per ended run to FILE (default:
                        ~/.local/share/tovrane/results.jsonl); each line also
                        goes to the system journal (journalctl
                        SYSLOG_IDENTIFIER=tovrane-station)
  --operator TEXT       who runs the station, stored with every result
                        (default: the name entered last; empty: none)
  --work-order TEXT     the work order, stored with every result (default:
                        the one entered last; empty: none); with --export-csv:
                        only runs of that work order
  --no-journal          store results in the results file only, not also in
                        the system journal
  --start               start every slot once the window is up
  --quit-when-done      end when no run is left: exit status 0 when every run
                        passed, 1 otherwise; whatever keeps the batch from
                        starting goes to standard error and ends the program
                        with exit status 1 (not in fixture mode)
  --auto-start MODE     auto-start on for this session: plug (a slot starts
                        when an adapter is plugged into it) or answer (fixture
                        mode: the adapters stay, each idle slot holds its port
                        and asks for the version about once a second; a slot
                        starts when a board answers, and again only after its
                        board was taken out)
  --export-csv FILE     write the runs of the results file (--results, or the
                        one used last) to FILE as CSV, one row per run, and end
                        without a window
  --since ISO-TIME      with --export-csv: only runs stored at that time or
                        later (2026-12-08T06:00, local time unless it ends in Z
                        or an offset; a date stands for its start)
  --help                this text
  --version             the program&apos;s version

SIGTERM, SIGINT and SIGHUP end the station cleanly: the probing ports are
closed, the runs going on are stopped as &quot;Stop all&quot; stops them, and their
results are stored.

Exit status: 0 (with --quit-when-done: every run passed; with --export-csv: the
file is written), 1 (a run failed or the batch could not start; the CSV file
could not be written), 2 (the command line is wrong).
</source>
        <translation>用法：tovrane-station [选项]...
  或：tovrane-station --help | --version

同时烧写多台设备，每个串口一个槽位。每个槽位的运行都是一个 tovrane-cli
子进程（与 tovrane-station 在同一目录），因此一台设备的故障不会影响
其他设备。槽位是一个物理位置：适配器所插的 USB 端口（重新插入的适配器
会回到它的行），或用 --port 指定的路径。只有当运行完成（或读取到版本）、
并且在要求校验时已经校验通过，槽位才算通过；使用发布包时，只有包的每一步
都通过、且设备随后报告的版本符合该发布，槽位才算通过。

  --images DIR          dsp.hex、mcu_old.mot 和 mcu_new.mot 所在的文件夹
                        （默认：上次使用的文件夹，首次启动时为程序所在的文件夹）
  --bundle FILE         打开一个发布包（tar 归档或文件夹，用 tovrane-cli
                        --make-bundle 制作）：它的步骤就是操作，映像文件也在
                        包中（默认：上次使用时打开的发布包，除非给出了
                        --operation 或 --require-verify）
  --allowed-signers FILE
                        信任文件（OpenSSH allowed_signers 格式），每个发布包
                        的签名都须经它验证；未给出时，若
                        /etc/tovrane/allowed_signers 存在则使用它，否则不检查签名
  --locked              不让操作员更改发布包、操作、结果文件和工单，供产线的
                        启动脚本使用（需要 --bundle）
  --port PATH           为 PATH 添加一个槽位，例如伪终端或
                        /dev/serial/by-id 链接（可重复）
  --operation OP        dsp、mcu 或 version：更新 DSP、更新 MCU 或读取版本
                        （默认：上次使用的操作）
  --require-verify      拒绝没有校验点记录的映像文件，并且只有烧写内容
                        校验通过时槽位才算通过
  --results FILE        每次运行结束时向 FILE 追加一行 JSON（默认：
                        ~/.local/share/tovrane/results.jsonl）；每一行
                        也写入系统日志（journalctl
                        SYSLOG_IDENTIFIER=tovrane-station）
  --operator TEXT       操作员姓名，随每条结果保存（默认：上次输入的
                        姓名；为空：不记录）
  --work-order TEXT     工单号，随每条结果保存（默认：上次输入的工单号；
                        为空：不记录）；与 --export-csv 一起使用时：
                        只导出该工单的运行
  --no-journal          结果只保存到结果文件，不同时写入系统日志
  --start               窗口出现后启动所有槽位
  --quit-when-done      没有运行时结束程序：所有运行都通过时退出状态为 0，
                        否则为 1；任何阻止批量启动的原因都写到标准错误，
                        并以退出状态 1 结束程序（治具模式下不可用）
  --auto-start MODE     为本次会话开启自动开始：plug（适配器插入槽位时
                        开始）或 answer（治具模式：适配器保持连接，每个
                        空闲槽位占用其端口，约每秒查询一次版本；电路板
                        应答时槽位开始运行，该电路板取出后才会再次开始）
  --export-csv FILE     将结果文件（--results 指定的，或上次使用的）中的
                        运行以 CSV 格式写入 FILE，每次运行一行，然后结束，
                        不打开窗口
  --since ISO-TIME      与 --export-csv 一起使用：只导出在该时间或之后
                        保存的运行（如 2026-12-08T06:00，除非以 Z 或时区
                        偏移结尾，否则为本地时间；日期表示当天开始）
  --help                显示本帮助
  --version             显示程序版本

SIGTERM、SIGINT 和 SIGHUP 会正常结束工作站：关闭正在探测的端口，像“全部停止”那样
停止正在进行的运行，并保存它们的结果。

退出状态：0（使用 --quit-when-done 时：所有运行都通过；使用 --export-csv
时：文件已写入），1（有运行失败或批量无法启动；CSV 文件无法写入），
2（命令行有误）。
</translation>
    </message>
</context>
</TS>
